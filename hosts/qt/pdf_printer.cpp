#include "pdf_printer.h"

#include <QPainter>
#include <QPrinter>

#include "lumora_widget.h"

bool PrintToPdf(LumoraWidget& widget, const QString& file, int dpi, QString* error) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(dpi);
    // The control sees what a printer driver reports: the printable area in device pixels.
    const QRect printable = printer.pageLayout().paintRectPixels(printer.resolution());
    const QImage page =
        widget.printPage(printable.size(), printer.resolution(), printer.resolution());
    if (page.isNull()) {
        *error = widget.lastError();
        return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = QObject::tr("Cannot write %1").arg(file);
        return false;
    }
    painter.drawImage(0, 0, page);
    return painter.end();
}
