// lumora-viewer's window: a LumoraWidget with a menu for the control's everyday operations.
#pragma once

#include <QMainWindow>

class LumoraWidget;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Fine enough for photographs on paper, small enough to keep a page in memory.
    static constexpr int kPrintDpi = 150;

    ViewerWindow();
    LumoraWidget& widget() { return *widget_; }
    // Loads a file; false (with the error in the status bar) when the control refuses it.
    bool open(const QString& file);

  private:
    void call(const QString& method, const QVariantList& args = {});
    void set(const QString& property, const QVariant& value);
    void saveJpeg();
    void printToPdf();

    LumoraWidget* widget_;
};
