// The static control of each headline slot of template 102, top to bottom
// (slot 0 at the top). The ids are not in screen order, so the window and the
// tests that read it both go through this table.
#pragma once

#include "common/FeedExtract.h"
#include "resource.h"

inline constexpr int kHeadlineSlotControls[kHeadlineSlots] = {
    IDC_HEADLINE_0,  IDC_HEADLINE_1,  IDC_HEADLINE_2,  IDC_HEADLINE_3,  IDC_HEADLINE_4,
    IDC_HEADLINE_5,  IDC_HEADLINE_6,  IDC_HEADLINE_7,  IDC_HEADLINE_8,  IDC_HEADLINE_9,
    IDC_HEADLINE_10, IDC_HEADLINE_11, IDC_HEADLINE_12, IDC_HEADLINE_13, IDC_HEADLINE_14,
    IDC_HEADLINE_15, IDC_HEADLINE_16, IDC_HEADLINE_17, IDC_HEADLINE_18, IDC_HEADLINE_19};
