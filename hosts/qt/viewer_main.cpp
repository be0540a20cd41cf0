// lumora-viewer [FILE] [--script FILE.js] [--screenshot OUT.png] [--print-pdf OUT.pdf]
// A small picture viewer on LumoraWidget. --script runs JavaScript with the widget as the global
// `lumora` (its properties and methods are the control's) and `print(...)` writing a line;
// --screenshot saves the window once shown and quits, so scripts and tests end by themselves;
// --print-pdf prints the picture into a PDF file instead of showing the window.
#include <QApplication>
#include <QFile>
#include <QJSEngine>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

#include "lumora_widget.h"
#include "pdf_printer.h"
#include "viewer_window.h"

namespace {

class ScriptPrinter : public QObject {
    Q_OBJECT
  public:
    Q_INVOKABLE void print(const QString& line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    }
};

// Runs the script; false (after saying why) when it cannot be read or throws.
bool RunScript(LumoraWidget& widget, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "lumora-viewer: cannot read %s\n", path.toUtf8().constData());
        return false;
    }
    QJSEngine engine;
    ScriptPrinter printer;
    engine.globalObject().setProperty("lumora", engine.newQObject(&widget));
    const QJSValue host = engine.newQObject(&printer);
    engine.globalObject().setProperty("print", host.property("print"));
    const QJSValue result = engine.evaluate(QTextStream(&file).readAll(), path);
    if (result.isError()) {
        std::fprintf(stderr, "lumora-viewer: %s line %d: %s\n", path.toUtf8().constData(),
                     result.property("lineNumber").toInt(), result.toString().toUtf8().constData());
        return false;
    }
    // The engine goes before the widget: it must not own it.
    QJSEngine::setObjectOwnership(&widget, QJSEngine::CppOwnership);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString file, script, screenshot, pdf;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--script" && i + 1 < args.size())
            script = args[++i];
        else if (args[i] == "--screenshot" && i + 1 < args.size())
            screenshot = args[++i];
        else if (args[i] == "--print-pdf" && i + 1 < args.size())
            pdf = args[++i];
        else if (!args[i].startsWith("--") && file.isEmpty())
            file = args[i];
        else {
            std::fputs(
                "usage: lumora-viewer [FILE] [--script FILE.js] [--screenshot OUT.png] "
                "[--print-pdf OUT.pdf]\n",
                stderr);
            return 2;
        }
    }
    ViewerWindow window;
    const bool opened = file.isEmpty() || window.open(file);
    if (!opened)
        std::fprintf(stderr, "lumora-viewer: %s\n",
                     window.widget().lastError().toUtf8().constData());
    if (!script.isEmpty() && !RunScript(window.widget(), script)) return 1;
    if (!pdf.isEmpty()) {
        // A picture that did not load is not printed as a blank page.
        if (!opened) return 1;
        QString error;
        if (PrintToPdf(window.widget(), pdf, ViewerWindow::kPrintDpi, &error)) return 0;
        std::fprintf(stderr, "lumora-viewer: %s\n", error.toUtf8().constData());
        return 1;
    }
    window.show();
    if (screenshot.isEmpty()) return app.exec();
    int status = 0;
    QTimer::singleShot(300, &app, [&] {
        if (!window.grab().save(screenshot)) status = 1;
        app.quit();
    });
    app.exec();
    return status;
}

#include "viewer_main.moc"
