// The panel tables that make up "quorvex.uir".
#pragma once

#include "quorvex.h"

PanelDef MainPanelDef();
PanelDef ListPanelDef(int panelNumber);
