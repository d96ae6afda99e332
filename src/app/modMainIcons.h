#pragma once
#include <QPixmap>
#include <QString>
#include <QStringList>

// The main window's own pictures, drawn here with QPainter so that the program ships no icon set:
// the button pictures (named after the picture boxes that held them, "picSaveMultiPage",
// "IconEditbar0" ... "IconEditbar3"), the status-bar pictures ("imgQueue", "imgMetadata",
// "imgFolder", "iDetailIcon"), the metadata lists' row icon ("ilMetadata1"), the task chart's icon ("picMultiPage") and the sixteen task icons.
// Pictures are made for the screen's pixel ratio, so they stay sharp on a dense screen.

namespace tf {

// Every picture name mainWindowPicture knows.
QStringList mainWindowPictureNames();
// A transparent picture; a name it does not know gives a null picture. Tool-bar glyphs
// (IconEditbar*, picMetadataEdit, picMetadataAdd) are 12 pixels square, so that they fit the
// narrow tool-bar buttons; picMultiPage is 24; all others 16.
QPixmap mainWindowPicture(const QString& name);

// The task icons' keys as the image list ilEdit holds them, in the task chart's order.
QStringList taskIconKeys();
// A 16-pixel task icon; an unknown key gives a null picture.
QPixmap taskIcon(const QString& key);

} // namespace tf
