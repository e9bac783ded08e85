// "quorvex.uir": the five panels, and the callbacks their controls name.
#include <array>

#include "../app/startup.h"
#include "../serial/comcfg.h"
#include "../stream/datafile.h"
#include "../stream/streams.h"
#include "panels.h"
#include "paramlists.h"

namespace {

struct NamedCallback {
    std::string_view name;
    CtrlCallback function;
};

constexpr NamedCallback kCallbacks[] = {
    {"closeApp", closeApp},     {"SetFormat", SetFormat},       {"ShowPanel", ShowPanel},
    {"setCom", setCom},         {"ATimerTick", ATimerTick},     {"DTimerTick", DTimerTick},
    {"ServiceBaud", ServiceBaud}, {"HideThisPanel", HideThisPanel},
};

CtrlCallback resolve(std::string_view name)
{
    for (const NamedCallback& callback : kCallbacks)
        if (callback.name == name) return callback.function;
    return nullptr;
}

}  // namespace

const UirFile& QuorvexUir()
{
    // In panel-number order.
    static const std::array<PanelDef, 5> panels{
        ListPanelDef(BLENDPAN2), ListPanelDef(BLENDPANEL), ListPanelDef(DD16PANEL),
        ListPanelDef(IPCPANEL),  MainPanelDef(),
    };
    static const UirFile file{kUirFile, panels, resolve};
    return file;
}
