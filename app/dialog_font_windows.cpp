// The dialog font on Windows: "MS Sans Serif" at 8 points, the face Windows
// dialogs are laid out in, as the system's font mapper resolves it (Windows
// maps the name to Microsoft Sans Serif). Where it resolves to a bitmap face
// (wine's own MS Sans Serif), Qt would draw that face a size too large (it
// lists a bitmap face's sizes by cell height and asks for them by character
// height: 16 pixels high for an 8-point request, where Windows' 8-point cell
// is 13), so the outline face the system gives dialogs ("MS Shell Dlg") is
// taken instead, at the same 8 points. The system's general font is no help:
// under wine it fell back to a serif face, and the window grew by a sixth
// across and a fifth down.
#include <windows.h>

#include <QString>
#include <string>

#include "app/dialog_units.h"

namespace {

constexpr int kPoints = 8;

struct MappedFace {
  QString name;
  bool outline = false;
};

// The face `family` stands for in the system's FontSubstitutes ("MS Shell
// Dlg": Microsoft Sans Serif on Windows, Tahoma under wine), or `family`
// itself. The font mapper substitutes too, but names the face it was asked
// for, which Qt does not know.
std::wstring Substitute(const wchar_t* family) {
  wchar_t value[LF_FACESIZE + 16] = {};
  DWORD bytes = sizeof(value);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", family,
                     RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
    return family;
  }
  // "Face,charset" names a character set too; the face is enough here.
  std::wstring face(value);
  return face.substr(0, face.find(L','));
}

// The face the system's font mapper gives a request for `family` at the
// dialog font's size on the screen; no name when it gives none.
MappedFace MapFace(const std::wstring& family) {
  MappedFace face;
  HDC screen = ::GetDC(nullptr);
  if (!screen) return face;
  const int height = -::MulDiv(kPoints, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  HFONT font = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, family.c_str());
  if (font) {
    HGDIOBJ previous = ::SelectObject(screen, font);
    wchar_t name[LF_FACESIZE] = {};
    TEXTMETRICW metrics = {};
    if (::GetTextFaceW(screen, LF_FACESIZE, name) > 0 && ::GetTextMetricsW(screen, &metrics)) {
      face.name = QString::fromWCharArray(name);
      face.outline = (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) != 0;
    }
    ::SelectObject(screen, previous);
    ::DeleteObject(font);
  }
  ::ReleaseDC(nullptr, screen);
  return face;
}

}  // namespace

QFont DialogFont() {
  MappedFace face = MapFace(Substitute(L"MS Sans Serif"));
  if (!face.outline) face = MapFace(Substitute(L"MS Shell Dlg"));
  // Without any answer, Qt's own search for the name, for a sans-serif face.
  QFont font(face.name.isEmpty() ? QStringLiteral("MS Sans Serif") : face.name, kPoints);
  font.setStyleHint(QFont::SansSerif);
  return font;
}
