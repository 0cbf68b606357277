// The program's pictures (icon 128 and logo 129), compiled in as PNG files and
// decoded as PNG: naming the format and turning content probing off keeps Qt
// from loading every image plugin it has to find a reader for them.
#pragma once

#include <QIcon>
#include <QPixmap>

// The logo shown in the window, 111 by 45 pixels.
QPixmap LogoPixmap();
// The program icon at 32 and 16 pixels.
QIcon ProgramIcon();

// The style's own pictures that painting the window needs, decoded the same
// way ahead of the first paint. Fusion draws every group box frame from a
// picture it loads by name alone, which makes Qt load each image plugin to
// ask whether it is the reader; decoded here with its format named, the style
// finds it in the pixmap cache instead. Other styles need nothing.
void PreloadStylePictures();
