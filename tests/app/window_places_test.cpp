// Where a handful of controls stand, written here as the window's layout gives
// them in dialog units and converted to pixels in the test itself, for the
// window's font: a quarter of its average letter width across, an eighth of
// its height down. A control moved in the window's own table fails here.
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QWidget>

#include "app/dialog_template.h"
#include "app/dialog_units.h"
#include "support/row_names.h"
#include "window_fixture.h"

namespace {

struct PlaceRow {
  const char* name;
  int id;
  int x, y, width, height;  // dialog units; height 0: not checked (a combo's drop-down)
};
void PrintTo(const PlaceRow& row, std::ostream* os) { *os << row.name; }

const PlaceRow kPlaces[] = {
    {"Exit", ctl::kExit, 285, 282, 50, 14},
    {"Save", ctl::kSave, 285, 105, 50, 14},
    {"RUN", ctl::kRunStop, 285, 249, 50, 14},
    {"UP/DOWN Load All", ctl::kAllRows, 283, 166, 56, 20},
    {"CH1 slider", ctl::kCh1Slider, 170, 124, 16, 178},
    {"CH4 value box", ctl::kCh4Value, 248, 105, 25, 14},
    {"sequence list", ctl::kSequenceList, 7, 120, 151, 170},
    {"Com combo", ctl::kComCombo, 46, 13, 80, 0},
    {"New ID edit", ctl::kNewIdEdit, 169, 23, 40, 14},
    {"highest sequence up-down", ctl::kMaxSqUpDown, 212, 54, 11, 14},
};

class WindowPlaces : public WindowTest, public testing::WithParamInterface<PlaceRow> {};

TEST_P(WindowPlaces, ControlStandsWhereTheLayoutPutsIt) {
  StartWindow();
  const QFontMetricsF metrics(m_dlg->font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const double perX = metrics.horizontalAdvance(letters) / letters.size() / 4;
  const double perY = metrics.height() / 8;
  const PlaceRow& row = GetParam();
  const QRect geometry = Inside().Control(row.id)->geometry();
  // A pixel either way for rounding.
  EXPECT_NEAR(geometry.x(), row.x * perX, 1.0);
  EXPECT_NEAR(geometry.y(), row.y * perY, 1.0);
  EXPECT_NEAR(geometry.width(), row.width * perX, 1.0);
  if (row.height > 0) {
    EXPECT_NEAR(geometry.height(), row.height * perY, 1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Controls, WindowPlaces, testing::ValuesIn(kPlaces), testsupport::RowName{});

TEST_F(WindowTest, WindowIs375By342DialogUnits) {
  StartWindow();
  const QFontMetricsF metrics(m_dlg->font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_NEAR(m_dlg->width(), 375 * metrics.horizontalAdvance(letters) / letters.size() / 4, 1.0);
  EXPECT_NEAR(m_dlg->height(), 342 * metrics.height() / 8, 1.0);
}

// Qt draws a bitmap face at the nearest size it lists, not at 8 points:
// wine's MS Sans Serif came out a size up, and the window grew to 730x684.
TEST(DialogFont, IsAnOutlineFaceAtEightPoints) {
  const QFont font = DialogFont();
  const QFontInfo face(font);
  EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(face.family(), face.styleName())) << face.family().toStdString();
  EXPECT_EQ(font.pointSize(), 8);
}

}  // namespace
