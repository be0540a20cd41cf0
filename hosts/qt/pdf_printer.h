// Printing the control's picture into a PDF file through Qt's printer.
#pragma once

#include <QString>

class LumoraWidget;

// Prints one page at `dpi` into `file`; false with *error set when there is no page to print or
// the file cannot be written.
bool PrintToPdf(LumoraWidget& widget, const QString& file, int dpi, QString* error);
