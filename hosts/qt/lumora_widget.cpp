#include "lumora_widget.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "bitmap_image.h"
#include "control/dispatch.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/page_dc.h"
#include "platform/ole/control_error.h"
#include "platform/ole/ole_control.h"
#include "property_page_dialog.h"
#include "variant_convert.h"

namespace {

int16_t ShiftState(Qt::KeyboardModifiers modifiers) {
    return static_cast<int16_t>((modifiers & Qt::ShiftModifier ? 1 : 0) |
                                (modifiers & Qt::ControlModifier ? 2 : 0) |
                                (modifiers & Qt::AltModifier ? 4 : 0));
}

int16_t ButtonState(Qt::MouseButtons buttons) {
    return static_cast<int16_t>((buttons & Qt::LeftButton ? 1 : 0) |
                                (buttons & Qt::RightButton ? 2 : 0) |
                                (buttons & Qt::MiddleButton ? 4 : 0));
}

}  // namespace

LumoraWidget::LumoraWidget(QWidget* parent)
    : QWidget(parent),
      horizontal_(new QScrollBar(Qt::Horizontal, this)),
      vertical_(new QScrollBar(Qt::Vertical, this)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    horizontal_->hide();
    vertical_->hide();
    // The bars report positions; the control scrolls itself and answers with the new state.
    connect(horizontal_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncingBars_) control_.HScroll(platform::SB_THUMBPOSITION, value);
    });
    connect(vertical_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncingBars_) control_.VScroll(platform::SB_THUMBPOSITION, value);
    });
    control_.SetClientSite(this);
    control_.SetControlSize(sizeHint().width(), sizeHint().height());
    control_.CreateControlWindow();
    control_.InitNew();
    OnCursorChanged(control_.Cursor());
}

LumoraWidget::~LumoraWidget() {
    control_.DestroyControlWindow();
    control_.SetClientSite(nullptr);
}

QVariant LumoraWidget::invoke(const QString& name, uint16_t flags, const QVariantList& args) const {
    lastError_.clear();
    try {
        const control::MemberInfo* member = control::FindMember(name.toStdString());
        if (!member) control::MemberNotSupported();
        std::vector<platform::Variant> values;
        for (const QVariant& arg : args)
            values.push_back(FromQVariant(arg));
        // Trailing omitted arguments are simply not passed.
        while (!values.empty() && platform::IsMissing(values.back()) &&
               flags == control::DISPATCH_METHOD)
            values.pop_back();
        return ToQVariant(control::InvokeMember(control_, member->dispid, flags, values));
    } catch (const platform::ControlError& e) {
        lastError_ = QStringLiteral("Error %1: %2")
                         .arg(e.number())
                         .arg(QString::fromStdString(e.description()));
        emit const_cast<LumoraWidget*>(this)->errorRaised(e.number(),
                                                          QString::fromStdString(e.description()));
        return {};
    }
}

QVariant LumoraWidget::getMember(const QString& name) const {
    return invoke(name, control::DISPATCH_PROPERTYGET, {});
}

bool LumoraWidget::setMember(const QString& name, const QVariant& value) {
    invoke(name, control::DISPATCH_PROPERTYPUT, {value});
    return lastError_.isEmpty();
}

QVariant LumoraWidget::callMethod(const QString& name, const QVariantList& args) {
    return invoke(name, control::DISPATCH_METHOD, args);
}

QVariant LumoraWidget::getIndexed(const char* name, std::initializer_list<QVariant> args) {
    return invoke(QString::fromLatin1(name), control::DISPATCH_PROPERTYGET, QVariantList(args));
}

void LumoraWidget::setIndexed(const char* name, std::initializer_list<QVariant> args) {
    invoke(QString::fromLatin1(name), control::DISPATCH_PROPERTYPUT, QVariantList(args));
}

QImage LumoraWidget::surface() {
    control_.PaintWindow();
    const HDC dc = control_.GetDC();
    if (!dc) return {};
    return BitmapImage(platform::GetCurrentObject(dc, OBJ_BITMAP));
}

QImage LumoraWidget::printPage(QSize pixels, int dpiX, int dpiY) {
    // The page lives for this call only, whatever the control makes of it.
    struct Page {
        explicit Page(HDC page) : dc(page) {}
        Page(const Page&) = delete;
        ~Page() {
            if (dc) platform::DeletePageDC(dc);
        }
        HDC dc;
    } page(platform::CreatePageDC(pixels.width(), pixels.height(), dpiX, dpiY));
    if (!page.dc) {
        lastError_ = tr("No page of %1 x %2 pixels at %3 x %4 dpi")
                         .arg(pixels.width())
                         .arg(pixels.height())
                         .arg(dpiX)
                         .arg(dpiY);
        return {};
    }
    if (!setMember(QStringLiteral("PrintHDC"), static_cast<int>(page.dc))) return {};
    return BitmapImage(platform::GetCurrentObject(page.dc, OBJ_BITMAP));
}

void LumoraWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, surface());
}

void LumoraWidget::resizeEvent(QResizeEvent*) {
    control_.RequestExtent(width(), height());
    layoutScrollBars();
}

void LumoraWidget::layoutScrollBars() {
    const int thickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int h = vertical_->isVisible() ? thickness : 0;
    const int v = horizontal_->isVisible() ? thickness : 0;
    horizontal_->setGeometry(0, height() - thickness, width() - h, thickness);
    vertical_->setGeometry(width() - thickness, 0, thickness, height() - v);
}

void LumoraWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    control_.MouseDown(ButtonState(event->button()), ShiftState(event->modifiers()), p.x(), p.y());
}

void LumoraWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    control_.MouseUp(ButtonState(event->button()), ShiftState(event->modifiers()), p.x(), p.y());
    if (rect().contains(p)) control_.Click();
}

void LumoraWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    control_.MouseMove(ButtonState(event->buttons()), ShiftState(event->modifiers()), p.x(), p.y());
}

void LumoraWidget::mouseDoubleClickEvent(QMouseEvent*) {
    control_.DblClick();
}

void LumoraWidget::keyPressEvent(QKeyEvent* event) {
    int16_t key = static_cast<int16_t>(event->key() & 0x7FFF);
    const int16_t shift = ShiftState(event->modifiers());
    control_.FireEvent(platform::DISPID_KEYDOWN,
                       {platform::Variant::I2(key), platform::Variant::I2(shift)});
    if (!event->text().isEmpty() && event->text().at(0).unicode() < 128)
        control_.FireEvent(
            platform::DISPID_KEYPRESS,
            {platform::Variant::I2(static_cast<int16_t>(event->text().at(0).unicode()))});
}

void LumoraWidget::keyReleaseEvent(QKeyEvent* event) {
    control_.FireEvent(platform::DISPID_KEYUP,
                       {platform::Variant::I2(static_cast<int16_t>(event->key() & 0x7FFF)),
                        platform::Variant::I2(ShiftState(event->modifiers()))});
}

void LumoraWidget::OnInvalidate(const RECT*, bool) {
    update();
}

void LumoraWidget::OnEvent(platform::DISPID, std::string_view name,
                           const std::vector<platform::Variant>& args) {
    // The signal of the same name, found through the meta-object: events added to the table
    // reach Qt without code here.
    QList<QVariant> values;
    for (const platform::Variant& arg : args)
        values.push_back(ToQVariant(arg.Deref()));
    const QMetaObject* meta = metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Signal ||
            method.name() != QByteArray(name.data(), static_cast<qsizetype>(name.size())) ||
            method.parameterCount() != values.size())
            continue;
        QGenericArgument a[4];
        for (qsizetype k = 0; k < values.size() && k < 4; ++k)
            a[k] = Q_ARG(QVariant, values[k]);
        method.invoke(this, Qt::DirectConnection, a[0], a[1], a[2], a[3]);
        return;
    }
}

void LumoraWidget::OnCursorChanged(std::string_view cursor) {
    setCursor(CursorShapeFor(cursor));
}

void LumoraWidget::OnScrollBarChanged(int bar, const platform::ScrollBarState& state) {
    QScrollBar* target = bar == platform::SB_HORZ ? horizontal_ : vertical_;
    syncingBars_ = true;
    target->setRange(state.min, state.max);
    target->setValue(state.pos);
    target->setPageStep(std::max(1, (state.max - state.min) / 5));
    target->setVisible(state.visible);
    syncingBars_ = false;
    layoutScrollBars();
}

void LumoraWidget::OnExtentChanged(int width, int height) {
    if (QWidget::width() != width || QWidget::height() != height) resize(width, height);
}

std::optional<std::string> LumoraWidget::GetOpenFileName(std::string_view filter,
                                                         std::string_view title) {
    // The control's filter is "Name|*.a;*.b|..."; Qt wants "Name (*.a *.b);;...".
    const QStringList parts =
        QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()))
            .split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    const QString file = QFileDialog::getOpenFileName(
        this, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), {},
        filters.join(";;"));
    if (file.isEmpty()) return std::nullopt;
    return file.toStdString();
}

void LumoraWidget::ShowDialog(const platform::DialogContent& dialog) {
    QStringList lines;
    for (const std::string& line : dialog.lines)
        lines << QString::fromStdString(line);
    QMessageBox box(QMessageBox::Information, QString::fromStdString(dialog.title),
                    lines.join('\n'), QMessageBox::Ok, this);
    if (dialog.icon == "LumoraCtrl") box.setIconPixmap(controlIcon().pixmap(32));
    box.exec();
}

QIcon LumoraWidget::controlIcon() {
    return QIcon(QStringLiteral(":/lumora/lumora.png"));
}

void LumoraWidget::showPropertyPages() {
    PropertyPageDialog dialog(*this, this);
    dialog.exec();
}
