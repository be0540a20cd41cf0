// The control's two own property pages and its About box, as data any host can render: pages,
// groups, fields with labels and combo entries, the exchange order and the initial values. An
// open page reads its fields from a control by property name and writes the changed ones back
// through the dispatch interface, so every setter's checks run.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/control_site.h"

namespace control {

class CLumoraCtrl;

enum class FieldKind { Combo, IntEdit, FloatEdit, Check };

struct PageField {
    std::string_view property;  // the bound _DLumora property
    FieldKind kind;
    std::string_view label;
    std::span<const std::string_view> entries = {};  // combo entries; the index is the value
    double initial = 0;                              // before the first read; -1: no selection
};

struct PageGroup {
    std::string_view caption;
    std::span<const PageField> fields;
};

struct PageInfo {
    std::string_view className;  // CSecProp, CGraphProp
    std::string_view progId;
    std::string_view caption;  // the tab
    int dialogForm;
    std::span<const PageGroup> groups;
    std::span<const std::string_view> exchangeOrder;
};

// The two own pages, "General" then "Graphics".
std::span<const PageInfo> OwnPropertyPages();
// By caption or class name, any case; null when unknown.
const PageInfo* FindPropertyPage(std::string_view name);
const PageField* FindPageField(const PageInfo& page, std::string_view property);
// The control's property sheet: the two own pages, then the stock picture, font and colour pages.
std::span<const std::string_view> PropertyPageList();

// One page open on one control.
class PropertyPage {
  public:
    PropertyPage(CLumoraCtrl& control, const PageInfo& info);

    const PageInfo& Info() const { return info_; }
    // Reads every bound field from the control, in exchange order; nothing is changed after.
    void Open();
    // The field's value: a combo's selected index (-1 for none), an edit's number, a check
    // box's 0 or 1. Unknown fields raise 5.
    double Value(std::string_view property) const;
    // A combo's selected entry (empty for none); the number or True/False for other fields.
    std::string Text(std::string_view property) const;
    // What the user enters; the field counts as changed until the next successful apply.
    void SetValue(std::string_view property, double value);
    // Writes the changed fields in exchange order. A value the setter rejects raises its error;
    // that field and the ones after it stay changed, those before it are applied.
    void Apply();
    bool Changed(std::string_view property) const;

  private:
    struct Slot {
        const PageField* field;
        double value;
        bool changed = false;
    };
    Slot& SlotFor(std::string_view property);
    const Slot& SlotFor(std::string_view property) const;

    CLumoraCtrl& control_;
    const PageInfo& info_;
    std::vector<Slot> slots_;  // in exchange order
};

// What the About box shows: the control's icon, the product and version line.
platform::DialogContent AboutBoxContent();

}  // namespace control
