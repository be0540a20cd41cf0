#include "property_page_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "lumora_widget.h"
#include "platform/ole/control_error.h"

namespace {

// One field's editor; edits mark the field changed on the page.
QWidget* MakeEditor(control::PropertyPage& page, const control::PageField& field) {
    const std::string property(field.property);
    const double value = page.Value(property);
    switch (field.kind) {
        case control::FieldKind::Combo: {
            auto* box = new QComboBox;
            for (std::string_view entry : field.entries)
                box->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
            box->setCurrentIndex(static_cast<int>(value));
            QObject::connect(box, &QComboBox::currentIndexChanged,
                             [&page, property](int index) { page.SetValue(property, index); });
            return box;
        }
        case control::FieldKind::IntEdit: {
            auto* box = new QSpinBox;
            box->setRange(-32768, 32767);
            box->setValue(static_cast<int>(value));
            QObject::connect(box, &QSpinBox::valueChanged,
                             [&page, property](int v) { page.SetValue(property, v); });
            return box;
        }
        case control::FieldKind::FloatEdit: {
            auto* box = new QDoubleSpinBox;
            box->setRange(-1e9, 1e9);
            box->setDecimals(3);
            box->setValue(value);
            QObject::connect(box, &QDoubleSpinBox::valueChanged,
                             [&page, property](double v) { page.SetValue(property, v); });
            return box;
        }
        case control::FieldKind::Check: {
            auto* box = new QCheckBox;
            box->setChecked(value != 0);
            QObject::connect(box, &QCheckBox::toggled,
                             [&page, property](bool on) { page.SetValue(property, on ? 1 : 0); });
            return box;
        }
    }
    return nullptr;
}

}  // namespace

PropertyPageDialog::PropertyPageDialog(LumoraWidget& widget, QWidget* parent)
    : QDialog(parent), widget_(widget) {
    setWindowTitle(tr("Properties"));
    auto* tabs = new QTabWidget;
    for (const control::PageInfo& info : control::OwnPropertyPages()) {
        auto page = std::make_unique<control::PropertyPage>(widget.control(), info);
        page->Open();
        auto* tab = new QWidget;
        auto* column = new QVBoxLayout(tab);
        for (const control::PageGroup& group : info.groups) {
            auto* box = new QGroupBox(QString::fromUtf8(
                group.caption.data(), static_cast<qsizetype>(group.caption.size())));
            auto* form = new QFormLayout(box);
            for (const control::PageField& field : group.fields)
                form->addRow(QString::fromUtf8(field.label.data(),
                                               static_cast<qsizetype>(field.label.size())),
                             MakeEditor(*page, field));
            column->addWidget(box);
        }
        tabs->addTab(tab, QString::fromUtf8(info.caption.data(),
                                            static_cast<qsizetype>(info.caption.size())));
        pages_.push_back(std::move(page));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            [this] { apply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

bool PropertyPageDialog::apply() {
    try {
        for (auto& page : pages_)
            page->Apply();
    } catch (const platform::ControlError& e) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Error %1: %2")
                                 .arg(e.number())
                                 .arg(QString::fromStdString(e.description())));
        return false;
    }
    widget_.update();
    return true;
}
