// The main window's controls as one table: id, kind, caption, place in dialog
// units and flags, in template order (which is also the tab and stacking order).
// The window is built from it, and a new control is one new row.
#pragma once

#include <span>

namespace ctl {

// Control ids the handlers and tests address.
enum Id : int {
  kNone = 0,
  kExit = 1,
  kCh1Slider = 1002,
  kCh2Slider = 1003,
  kCh3Slider = 1004,
  kCh1Value = 1005,
  kComCombo = 1006,
  kCh2Value = 1007,
  kCh3Value = 1008,
  kCh4Slider = 1009,
  kSequenceCombo = 1010,
  kCh4Value = 1011,
  kDownload = 1012,
  kSave = 1013,
  kSequenceList = 1015,
  kUpload = 1016,
  kAllRows = 1017,
  kSetAllMin = 1020,
  kSetAllMax = 1021,
  kRunStop = 1023,
  kUnitCombo = 1024,
  kNewIdEdit = 1025,
  kNewIdUpDown = 1026,
  kNewId = 1027,
  kMaxSqEdit = 1028,
  kMaxSqUpDown = 1029,
};

// The channel sliders, CH1 to CH4.
inline constexpr Id kChannelSliders[] = {kCh1Slider, kCh2Slider, kCh3Slider, kCh4Slider};

enum class Kind { kPushButton, kCheckBox, kEdit, kUpDown, kSlider, kPicture, kText, kGroupBox, kComboBox, kListBox };

enum Flag : unsigned {
  kDefault = 1u << 0,       // default push button
  kMultiLine = 1u << 1,     // caption wraps onto two lines
  kReadOnly = 1u << 2,
  kRightAlign = 1u << 3,
  kEditableCombo = 1u << 4, // drop-down with an edit field; else a drop-down list
  kSorted = 1u << 5,
};

struct Place {
  int x, y, width, height;  // dialog units
};

struct Control {
  int id;            // kNone for static controls
  Kind kind;
  const char* caption;
  Place place;
  unsigned flags;
};

// The main window: 375 x 342 dialog units, caption "ORVANEL".
inline constexpr Place kMainWindowSize{0, 0, 375, 342};
inline constexpr const char* kMainWindowCaption = "ORVANEL";

std::span<const Control> MainTemplate();

// The controls without a caption of their own, named for assistive tools
// after the caption beside them; `caption` is that text's row when it is the
// control's buddy (it names this control and no other), else "".
struct ControlName {
  int id;
  const char* name;
  const char* caption;
};
std::span<const ControlName> ControlNames();

// The free space below the sequence list that holds the status line.
inline constexpr Place kStatusLinePlace{10, 294, 148, 38};

}  // namespace ctl
