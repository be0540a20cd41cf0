#include "viewer_window.h"

#include <QFileDialog>
#include <QMenuBar>
#include <QStatusBar>

#include "lumora_widget.h"
#include "pdf_printer.h"

ViewerWindow::ViewerWindow() : widget_(new LumoraWidget(this)) {
    setCentralWidget(widget_);
    setWindowTitle(QStringLiteral("Lumora Viewer"));
    connect(widget_, &LumoraWidget::errorRaised, this,
            [this](int, const QString&) { statusBar()->showMessage(widget_->lastError()); });

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open..."), QKeySequence::Open, [this] { set("LMOpenPicture", 1); });
    file->addAction(tr("Save as &JPEG..."), [this] { saveJpeg(); });
    file->addAction(tr("&Print to PDF..."), [this] { printToPdf(); });
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("Zoom &in"), QKeySequence::ZoomIn,
                    [this] { set("Zoom", widget_->get_Zoom() * 1.25); });
    view->addAction(tr("Zoom &out"), QKeySequence::ZoomOut,
                    [this] { set("Zoom", widget_->get_Zoom() / 1.25); });
    view->addAction(tr("&Fit to window"), [this] { set("AutoSize", 4); });
    view->addAction(tr("&Actual size"), [this] {
        set("AutoSize", 0);
        set("Zoom", 1.0);
    });
    view->addAction(tr("&Thumbnail"),
                    [this] { set("Thumbnail", widget_->get_Thumbnail() ? 0 : 96); });

    QMenu* image = menuBar()->addMenu(tr("&Image"));
    image->addAction(tr("Rotate &left"), [this] { call("Rotate", {1}); });
    image->addAction(tr("Rotate &right"), [this] { call("Rotate", {0}); });
    image->addAction(tr("&Brighter"), [this] { call("Brightness", {10}); });
    image->addAction(tr("&Darker"), [this] { call("Brightness", {-10}); });
    image->addAction(tr("More &contrast"), [this] { call("Contrast", {10}); });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&Properties..."), [this] { widget_->showPropertyPages(); });
    help->addAction(tr("&About"), [this] { call("AboutBox"); });
    resize(480, 400);
}

bool ViewerWindow::open(const QString& file) {
    set("Position", 8);  // centred
    set("FileName", file);
    return widget_->lastError().isEmpty();
}

void ViewerWindow::call(const QString& method, const QVariantList& args) {
    widget_->callMethod(method, args);
    widget_->update();
}

void ViewerWindow::set(const QString& property, const QVariant& value) {
    widget_->setMember(property, value);
    widget_->update();
}

void ViewerWindow::saveJpeg() {
    const QString file = QFileDialog::getSaveFileName(this, tr("Save as JPEG"), {},
                                                      tr("JPEG pictures (*.jpg *.jpeg)"));
    if (!file.isEmpty()) call("JPGSaveName", {file});
}

void ViewerWindow::printToPdf() {
    const QString file =
        QFileDialog::getSaveFileName(this, tr("Print to PDF"), {}, tr("PDF documents (*.pdf)"));
    QString error;
    if (!file.isEmpty() && !PrintToPdf(*widget_, file, kPrintDpi, &error))
        statusBar()->showMessage(error);
}
