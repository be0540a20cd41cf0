// lumora-viewer's window: a LumoraWidget with a menu for the control's everyday operations.
#pragma once

#include <QMainWindow>

class LumoraWidget;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
  public:
    ViewerWindow();
    LumoraWidget& widget() { return *widget_; }
    // Loads a file; false (with the error in the status bar) when the control refuses it.
    bool open(const QString& file);

  private:
    void call(const QString& method, const QVariantList& args = {});
    void set(const QString& property, const QVariant& value);
    void saveJpeg();

    LumoraWidget* widget_;
};
