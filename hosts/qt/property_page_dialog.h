// The control's property sheet as a Qt dialog, built from the page model: a tab per own page, a
// group box per group, a combo box, spin box or check box per field. OK and Apply write the
// changed fields through the control's setters; a refused value is shown and the page stays.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

#include "control/property_pages.h"

class LumoraWidget;

class PropertyPageDialog : public QDialog {
    Q_OBJECT
  public:
    PropertyPageDialog(LumoraWidget& widget, QWidget* parent = nullptr);
    // Applies every page; false (after showing the error) when a setter refused a value.
    bool apply();

  private:
    LumoraWidget& widget_;
    std::vector<std::unique_ptr<control::PropertyPage>> pages_;
};
