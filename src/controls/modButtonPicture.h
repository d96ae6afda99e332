#pragma once
#include <QPixmap>
#include <QString>

class QFontMetrics;
class QLabel;
class QPushButton;

// A small picture on the left of an ordinary push button, the caption pushed to the right with
// leading blanks. The picture is combined into the face the style has drawn (dark picture pixels
// darken the face, white ones leave it as it is), so the button keeps its own look and behaviour.
//
// A disabled button shows its picture washed out to a pale grey.
//
// Setting a button up again only changes its picture; its caption is padded once. The picture is
// either kept by the button (a QPixmap) or read from a picture holder at each paint; a holder that
// goes away first simply leaves the button without a picture.
void subSetButtonPicture(QPushButton* button, const QPixmap& picture);
void subSetButtonPicture(QPushButton* button, QLabel* pictureBox);
// The button paints plainly again; its caption keeps its padding. Harmless for a null button or
// one that was never set up.
void subRemoveButtonPicture(QPushButton* button);
// A new caption for a button while the program runs: padded again when the button shows a
// picture, so that a longer caption does not run into it; set as it is on any other button.
void subSetButtonCaption(QPushButton* button, const QString& caption);

namespace tf {

// The caption with enough leading blanks that its width reaches the button's width less a margin
// (5 pixels when the caption holds an access-key "&", else 11); always at least one blank.
QString padButtonCaption(const QString& caption, int buttonWidth, const QFontMetrics& metrics);
// The width a button needs, at least designWidth, for its caption, padded as above and centred by
// the button, to start clear of a picture of pictureWidth at its left: a larger font than the
// one a tool bar was drawn for would otherwise run the caption into the picture.
int pictureButtonWidth(int designWidth, const QString& caption, const QFontMetrics& metrics, int pictureWidth = 16);
// Where the picture's top goes so that it is centred on a face of the given height.
int buttonPictureTop(int faceHeight, double pictureHeight);
bool hasButtonPicture(const QPushButton* button);

} // namespace tf
