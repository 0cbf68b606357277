// The main window's control table.
#include "app/dialog_template.h"

namespace ctl {
namespace {

// The table's own length counts the controls: a row taken out leaves no
// empty control behind.
constexpr Control kMain[] = {
    {kExit, Kind::kPushButton, "Exit", {285, 282, 50, 14}, kDefault},
    {kRunStop, Kind::kPushButton, "RUN", {285, 249, 50, 14}, 0},
    {kNewIdEdit, Kind::kEdit, "", {169, 23, 40, 14}, 0},
    {kNewIdUpDown, Kind::kUpDown, "", {212, 23, 11, 14}, 0},
    {kDownload, Kind::kPushButton, "Download Sequent", {285, 217, 50, 24}, kMultiLine},
    {kCh4Slider, Kind::kSlider, "", {251, 124, 16, 178}, 0},
    {kCh3Slider, Kind::kSlider, "", {224, 124, 16, 178}, 0},
    {kCh2Slider, Kind::kSlider, "", {197, 124, 16, 178}, 0},
    {kCh1Slider, Kind::kSlider, "", {170, 124, 16, 178}, 0},
    {kNone, Kind::kPicture, "", {294, 4, 74, 28}, 0},
    {kNone, Kind::kText, "Intensity Level:", {114, 107, 48, 8}, 0},
    {kCh1Value, Kind::kEdit, "", {165, 105, 25, 14}, kReadOnly | kRightAlign},
    {kNone, Kind::kText, "Com Port:", {10, 15, 32, 8}, 0},
    {kComCombo, Kind::kComboBox, "", {46, 13, 80, 115}, kEditableCombo},
    {kNone, Kind::kGroupBox, "Setting", {7, 0, 361, 335}, 0},
    {kSequenceCombo, Kind::kComboBox, "", {46, 43, 80, 150}, 0},
    {kNone, Kind::kText, "Sequent:", {10, 45, 30, 8}, 0},
    {kNone, Kind::kText, "CH1", {170, 94, 15, 8}, 0},
    {kCh2Value, Kind::kEdit, "", {193, 105, 25, 14}, kReadOnly | kRightAlign},
    {kNone, Kind::kText, "CH2", {197, 94, 15, 8}, 0},
    {kCh3Value, Kind::kEdit, "", {220, 105, 25, 14}, kReadOnly | kRightAlign},
    {kNone, Kind::kText, "CH3", {226, 94, 15, 8}, 0},
    {kCh4Value, Kind::kEdit, "", {248, 105, 25, 14}, kReadOnly | kRightAlign},
    {kNone, Kind::kText, "CH4", {252, 94, 15, 8}, 0},
    {kSave, Kind::kPushButton, "Save", {285, 105, 50, 14}, 0},
    {kSequenceList, Kind::kListBox, "", {7, 120, 151, 170}, kSorted},
    {kUpload, Kind::kPushButton, "Up load Sequent", {285, 187, 50, 24}, kMultiLine},
    {kAllRows, Kind::kCheckBox, "UP/DOWN Load All", {283, 166, 56, 20}, kMultiLine},
    {kSetAllMin, Kind::kPushButton, "Set All Min", {285, 124, 50, 14}, 0},
    {kSetAllMax, Kind::kPushButton, "Set All Max", {285, 142, 50, 14}, 0},
    {kUnitCombo, Kind::kComboBox, "", {46, 27, 80, 124}, 0},
    {kNone, Kind::kText, "KIVID:", {10, 30, 21, 8}, 0},
    {kNewId, Kind::kPushButton, "New ID", {228, 23, 50, 14}, 0},
    {kNone, Kind::kGroupBox, "", {142, 0, 140, 80}, 0},
    {kNone, Kind::kText, "Set Max Sequent", {170, 43, 56, 8}, 0},
    {kNone, Kind::kText, "Change ID:", {169, 9, 37, 8}, 0},
    {kMaxSqEdit, Kind::kEdit, "", {169, 54, 40, 14}, 0},
    {kMaxSqUpDown, Kind::kUpDown, "", {212, 54, 11, 14}, 0},
};

constexpr ControlName kNames[] = {
    {kComCombo, "Com Port", "Com Port:"},
    {kUnitCombo, "KIVID", "KIVID:"},
    {kSequenceCombo, "Sequent", "Sequent:"},
    {kSequenceList, "Sequence list", ""},
    {kNewIdEdit, "Change ID", "Change ID:"},
    {kNewIdUpDown, "Change ID", ""},
    {kMaxSqEdit, "Set Max Sequent", "Set Max Sequent"},
    {kMaxSqUpDown, "Set Max Sequent", ""},
    {kCh1Slider, "CH1", "CH1"},
    {kCh2Slider, "CH2", "CH2"},
    {kCh3Slider, "CH3", "CH3"},
    {kCh4Slider, "CH4", "CH4"},
    {kCh1Value, "CH1 Intensity Level", "Intensity Level:"},
    {kCh2Value, "CH2 Intensity Level", ""},
    {kCh3Value, "CH3 Intensity Level", ""},
    {kCh4Value, "CH4 Intensity Level", ""},
};

}  // namespace

std::span<const Control> MainTemplate() { return kMain; }

std::span<const ControlName> ControlNames() { return kNames; }

}  // namespace ctl
