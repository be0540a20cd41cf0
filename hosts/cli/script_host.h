// Runs a parsed script against one control in a headless site: property puts and gets,
// method calls, Print, picture variables, and the host's own statements and values.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "control/lumora_ctrl.h"
#include "platform/ole/headless_site.h"
#include "script_parser.h"

namespace cli {

// A headless site that can also print each event and cursor change as it happens, and that
// keeps the raster pages a script prints on.
class ScriptSite : public platform::HeadlessSite {
  public:
    ScriptSite(platform::OleControl& control, int width, int height, bool echoEvents)
        : HeadlessSite(control, width, height), echoEvents_(echoEvents) {}
    ~ScriptSite() override;
    void OnEvent(platform::DISPID dispid, std::string_view name,
                 const std::vector<platform::Variant>& args) override;
    void OnCursorChanged(std::string_view cursor) override;

    // A white 24-bit page; its handle as the number scripts hold.
    int32_t NewPage(int width, int height, int dpiX, int dpiY);
    void DeletePage(int32_t handle);
    // The page behind a number; error 5 when it is not one of this site's pages.
    HDC Page(int32_t handle) const;

    // The dialog's one line, since nobody can look at it.
    void ShowDialog(const platform::DialogContent& dialog) override;

  private:
    bool echoEvents_;
    std::set<HDC> pages_;
};

class ScriptHost {
  public:
    ScriptHost(int width, int height, bool echoEvents);

    // Runs every statement; a failing one prints its error and the next one runs. Returns
    // false when any statement failed.
    bool Run(const std::vector<Statement>& statements);
    // One statement; failures raise platform::ControlError.
    void Execute(const Statement& statement);

    control::CLumoraCtrl& Control() { return control_; }
    ScriptSite& Site() { return site_; }

  private:
    platform::Variant Evaluate(const Expr& expr);
    std::vector<platform::Variant> EvaluateArguments(const std::vector<Argument>& args);
    void Assign(const Statement& statement);
    void Call(const Statement& statement);
    // The host's own statements and values; false when the name is not one of them.
    bool HostStatement(const Statement& statement);
    bool HostValue(const std::string& name, const std::vector<Argument>& args,
                   platform::Variant& result);
    int ScrollCode(const Argument& arg, bool vertical);

    control::CLumoraCtrl control_;  // declared first: the site detaches before it goes
    ScriptSite site_;
    std::map<std::string, platform::Variant> variables_;  // keyed by the lower-cased name
};

}  // namespace cli
