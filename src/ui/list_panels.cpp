// The four parameter list panels: the fields of each text device's records,
// numbered in the order they stand in a record.
#include "panels.h"

namespace {

constexpr ItemDef kBlendItems[] = {
    {"1. Timestamp", 0},
    {"2. Slurry Rate", 1},
    {"3. Slurry Total", 2},
    {"4. Clean Rate", 3},
    {"5. Clean Total", 4},
    {"6. Target Density", 5},
    {"7. Ratiometric Density", 6},
    {"8. Measured Density", 7},
    {"9. Current Stage", 8},
    {"10. Analog Input 7 (Spare)", 9},
    {"11. Analog Input 8 (Spare)", 10},
    {"12. Auger 1 RPM", 11},
    {"13. Auger 2 RPM", 12},
    {"14. Auger 3 RPM", 13},
    {"15. Auger 1 DAC Counts", 14},
    {"16. Auger 2 DAC Counts", 15},
    {"17. Auger 3 DAC Counts", 16},
    {"18. Auger 1 Sand Rate", 17},
    {"19. Auger 2 Sand Rate", 18},
    {"20. Auger 3 Sand Rate", 19},
    {"21. Total Sand Rate", 20},
    {"22. Auger 1 Sand Total", 21},
    {"23. Auger 2 Sand Total", 22},
    {"24. Auger 3 Sand Total", 23},
    {"25. Total Sand", 24},
    {"26. Calculated Density", 25},
    {"27. Fluid Specific Gravity", 26},
    {"28. Sand Bulk Density", 27},
    {"29. Sand Specific Gravity", 28},
    {"30. Chemical 1 Rate", 29},
    {"31. Chemical 1 Total", 30},
    {"32. Chemical 2 Rate", 31},
    {"33. Chemical 2 Total", 32},
    {"34. Chemical 3 Rate", 33},
    {"35. Chemical 3 Total", 34},
    {"36. Chemical 4 Rate", 35},
    {"37. Chemical 4 Total", 36},
    {"38. Chemical 5 Rate", 37},
    {"39. Chemical 5 Total", 38},
    {"40. Chemical 6 Rate", 39},
    {"41. Chemical 6 Total", 40},
    {"42. Clean Rate", 41},
    {"43. Clean Total", 42},
    {"44. Calculated Clean Rate", 43},
    {"45. Calculated Clean Total", 44},
    {"46. Chemical 1 Concentration", 45},
    {"47. Chemical 2 Concentration", 46},
    {"48. Chemical 3 Concentration", 47},
    {"49. Chemical 4 Concentration", 48},
    {"50. Chemical 5 Concentration", 49},
    {"51. Chemical 6 Concentration", 50},
};

constexpr ItemDef kBlendPlusItems[] = {
    {"1. Timestamp", 0},
    {"2. Slurry Rate", 1},
    {"3. Slurry Total", 2},
    {"4. Discharge Pressure", 3},
    {"5. Clean Rate", 4},
    {"6. Clean Total", 5},
    {"7. Suction Pressure", 6},
    {"8. Target Density", 7},
    {"9. Ratiometric Density", 8},
    {"10. Measured Density", 9},
    {"11. Current Stage", 10},
    {"12. Auger 1 RPM", 11},
    {"13. Auger 2 RPM", 12},
    {"14. Auger 3 RPM", 13},
    {"15. Auger 1 Sand Rate", 14},
    {"16. Auger 2 Sand Rate", 15},
    {"17. Auger 3 Sand Rate", 16},
    {"18. Total Sand Rate", 17},
    {"19. Auger 1 Sand Total", 18},
    {"20. Auger 2 Sand Total", 19},
    {"21. Auger 3 Sand Total", 20},
    {"22. Total Sand", 21},
    {"23. Base Fluid Specific Gravity", 22},
    {"24. Tub Level", 23},
    {"25. Base Rate 2", 24},
    {"26. Base Rate 2 Total", 25},
    {"27. Chemical 1 Rate", 26},
    {"28. Chemical 1 Total", 27},
    {"29. Chemical 1 Concentration", 28},
    {"30. Chemical 2 Rate", 29},
    {"31. Chemical 2 Total", 30},
    {"32. Chemical 2 Concentration", 31},
    {"33. Chemical 3 Rate", 32},
    {"34. Chemical 3 Total", 33},
    {"35. Chemical 3 Concentration", 34},
    {"36. Chemical 4 Rate", 35},
    {"37. Chemical 4 Total", 36},
    {"38. Chemical 4 Concentration", 37},
    {"39. Chemical 5 Rate", 38},
    {"40. Chemical 5 Total", 39},
    {"41. Chemical 5 Concentration", 40},
    {"42. Chemical 6 Rate", 41},
    {"43. Chemical 6 Total", 42},
    {"44. Chemical 6 Concentration", 43},
    {"45. Chemical 7 Rate", 44},
    {"46. Chemical 7 Total", 45},
    {"47. Chemical 7 Concentration", 46},
    {"48. Chemical 8 Rate", 47},
    {"49. Chemical 8 Total", 48},
    {"50. Chemical 8 Concentration", 49},
    {"51. Calculated Clean Rate", 50},
};

constexpr ItemDef kIpcItems[] = {
    {"1. Timestamp", 0},
    {"2. Engine RPM", 1},
    {"3. Engine Coolant Temperature", 2},
    {"4. Pump Discharge Rate", 3},
    {"5. Pump Discharge Total", 4},
    {"6. Pump Discharge Pressure", 5},
    {"7. Engine Fuel Temperature", 6},
    {"8. Engine Fuel Pressure", 7},
    {"9. Engine Oil Temperature", 8},
    {"10. Engine Oil Pressure", 9},
    {"11. Transmission Oil Temperature", 10},
    {"12. Transmission Oil Pressure", 11},
    {"13. Pump Oil Temperature", 12},
    {"14. Pump Oil Pressure", 13},
    {"15. Pump RPM", 14},
    {"16. Analog Input 6 (Spare)", 15},
    {"17. Frequency Input 2 (Spare)", 16},
    {"18. Engine Percent Load", 17},
    {"19. Throttle RPM Request", 18},
    {"20. Idle RPM", 19},
    {"21. Requested Gear", 20},
    {"22. Current Gear", 21},
    {"23. Lock-up Status", 22},
    {"24. Lock-up Inhibit", 23},
    {"25. Torque Inhibit", 24},
    {"26. Soft-Shift Inhibit", 25},
    {"27. Pump Controller State", 26},
    {"28. Engine Type", 27},
    {"29. Transmission Type", 28},
};

constexpr ItemDef kDd16Items[] = {
    {"1. Timestamp", 99},
    {"2. Channel 1", 0},
    {"3. Channel 2", 1},
    {"4. Channel 3", 2},
    {"5. Channel 4", 3},
    {"6. Channel 5", 4},
    {"7. Channel 6", 5},
    {"8. Channel 7", 6},
    {"9. Channel 8", 7},
    {"10. Channel 9", 8},
    {"11. Channel 10", 9},
    {"12. Channel 11", 10},
    {"13. Channel 12", 11},
    {"14. Channel 13", 12},
    {"15. Channel 14", 13},
    {"16. Channel 15", 14},
    {"17. Channel 16", 15},
};
// The standard dialog font: Tahoma at 8 points (11 px), whose rows are 13 px
// high, as the lists are sized: 17 rows fill the DD16 list's 221 px, 29 the
// IPC list's 377.
constexpr FontDef kDialogFont{"Tahoma", 11};
constexpr int kRowHeight = 13;
constexpr Rgb kDialogGrey{212, 208, 200};

struct ListPanel {
    int number;
    std::string_view constant;
    std::string_view title;
    int height;
    int listHeight;
    int top, left;
    std::span<const ItemDef> items;
};

constexpr ListPanel kListPanels[] = {
    {BLENDPAN2, "BLENDPAN2", "Velmara+ Blender Parameters", 430, 377, 64, 795, kBlendPlusItems},
    {BLENDPANEL, "BLENDPANEL", "Velmara Blender Parameters", 430, 377, 77, 48, kBlendItems},
    {DD16PANEL, "DD16PANEL", "DD16 Parameters", 275, 221, 226, 313, kDd16Items},
    {IPCPANEL, "IPCPANEL", "IPC Parameters", 430, 377, 61, 557, kIpcItems},
};


ControlDef hideButton()
{
    ControlDef c{.number = HIDE, .constant = "HIDE", .kind = CtrlKind::CommandButton};
    c.place = {108, 4, 97, 26};
    c.text = "Close Window";
    c.font = kDialogFont;
    c.callback = "HideThisPanel";
    return c;
}

ControlDef listBox(const ListPanel& panel)
{
    ControlDef c{.number = LISTBOX, .constant = "LISTBOX", .kind = CtrlKind::ListBox};
    c.place = {7, 35, 196, panel.listHeight};
    c.items = panel.items;
    c.value = panel.items.front().value;
    c.font = kDialogFont;
    c.rowHeight = kRowHeight;
    return c;
}

const ControlDef kControls[][2] = {
    {hideButton(), listBox(kListPanels[0])},
    {hideButton(), listBox(kListPanels[1])},
    {hideButton(), listBox(kListPanels[2])},
    {hideButton(), listBox(kListPanels[3])},
};

}  // namespace

PanelDef ListPanelDef(int panelNumber)
{
    for (std::size_t i = 0; i < std::size(kListPanels); ++i) {
        const ListPanel& list = kListPanels[i];
        if (list.number != panelNumber) continue;
        PanelDef p{.number = list.number, .constant = list.constant, .title = list.title};
        p.width = 209;
        p.height = list.height;
        p.top = list.top;
        p.left = list.left;
        p.background = kDialogGrey;
        p.closeControl = HIDE;
        p.keysClose = true;
        p.controls = kControls[i];
        return p;
    }
    return {};
}
