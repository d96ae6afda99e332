// What the user reads in the window at its first-start size, under a light and a dark palette:
// the status bar's texts, and the tool bars' pictures beside their captions.
#include "mainwindow_gui.h"

#include "app/modMainIcons.h"
#include "app/modWindowPlacement.h"
#include "controls/modButtonPicture.h"
#include "platform/ui/statusbar.h"

#include <QPushButton>
#include <QRandomGenerator>

using namespace tf;
using namespace tf::test;

namespace {

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
    dark.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    return dark;
}

// The application's palette and font for the length of one test.
class Look {
public:
    Look(const QPalette& palette, int pointSize) : m_palette(QApplication::palette()), m_font(QApplication::font())
    {
        QApplication::setPalette(palette);
        QFont font = m_font;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
    }
    ~Look()
    {
        QApplication::setPalette(m_palette);
        QApplication::setFont(m_font);
    }

private:
    QPalette m_palette;
    QFont m_font;
};

// A photograph's worth of bytes (noise does not compress), with EXIF and IPTC.
QString photoWithMetadata(const TempFolder& dir)
{
    QImage noise(900, 700, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) line[x] = 0xFF000000u | random->bounded(0x1000000u);
    }
    const QString path = dir.file("holiday.jpg");
    EXPECT_TRUE(noise.save(path, "JPG", 100));
    int rc = -1;
    runTool("exiv2", {"-Mset Exif.Image.Make Canon", "-Mset Iptc.Application2.Caption Hello", "mo", path}, &rc);
    EXPECT_EQ(rc, 0);
    return path;
}

} // namespace

TEST_F(MainWindowGui, StatusTextsAreWholeAtTheFirstStartSizeInLightAndDarkPalettes)
{
    TempFolder shots;
    photoWithMetadata(shots);
    const struct {
        const char* what;
        QPalette palette;
        int pointSize;
    } looks[] = {{"light", QApplication::palette(), QApplication::font().pointSize()},
                 {"dark, a larger font", darkPalette(), QApplication::font().pointSize() + 1}};
    for (const auto& look : looks) {
        SCOPED_TRACE(look.what);
        Look applied(look.palette, look.pointSize);
        typSettings s = fncDefaultSettings();
        s.TreeFolder = shots.path();
        s.FolderView = 3;
        s.LongFileSize = 1;
        writeSettings(s);
        frmMain& w = start(kFirstStartWindowSize);
        activate();
        settleBrowse();
        clickRow(w.browse()->lvFolder(), "holiday.jpg");
        settleBrowse();
        ASSERT_TRUE(w.sbMain()->panelText("metadata").endsWith("IPTC"));
        ASSERT_TRUE(w.sbMain()->panelText("resolution").contains(" bytes)")) << "the long size";
        QApplication::processEvents();
        for (const char* key : {"filename", "pages", "resolution", "queue", "metadata", "status"}) {
            const auto* label = static_cast<const ElidingLabel*>(w.sbMain()->panel(QString::fromLatin1(key)));
            EXPECT_EQ(label->shownText(), label->text()) << key;
        }
        m_window.reset();
    }
}

TEST_F(MainWindowGui, UnderADarkPaletteToolBarPicturesKeepTheirColoursAndCaptionsStayClearOfThem)
{
    TempFolder shots;
    Look applied(darkPalette(), QApplication::font().pointSize() + 3);
    startOn(shots.path(), true);
    const struct {
        const char* button;
        const char* picture;
    } buttons[] = {{"cmdTwainAcquire", "picTwainAcquire"}, {"cmdCapture", "picCapture"},
                   {"cmdBrowseSettings", "picBrowseSettings"}, {"cmdBrowseAbout", "picBrowseAbout"},
                   {"cmdPreviewView", "picPreviewView"}, {"cmdPreviewType", "picPreviewType"}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.button);
        auto* button = find<QPushButton>(QString::fromLatin1(b.button));
        ASSERT_TRUE(button && hasButtonPicture(button));
        const QImage picture = mainWindowPicture(QString::fromLatin1(b.picture)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(picture.isNull());
        const QImage withPicture = button->grab().toImage();
        subRemoveButtonPicture(button);
        const QImage caption = button->grab().toImage();

        // The picture in its own colours: each of its opaque pixels is on the button as it is.
        const int top = buttonPictureTop(button->height(), picture.height());
        int opaque = 0, unlike = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb own = picture.pixel(x, y);
                if (qAlpha(own) != 255) continue;
                ++opaque;
                const QRgb shown = withPicture.pixel(5 + x, top + y);
                if (std::abs(qRed(own) - qRed(shown)) > 8 || std::abs(qGreen(own) - qGreen(shown)) > 8 ||
                    std::abs(qBlue(own) - qBlue(shown)) > 8)
                    ++unlike;
            }
        EXPECT_GT(opaque, 0);
        EXPECT_EQ(unlike, 0) << "of " << opaque << " opaque pixels";

        // Where the caption's letters are: the first column, in the middle band, lighter than the face.
        const QRgb face = caption.pixel(caption.width() - 3, caption.height() / 2);
        int firstLetter = caption.width();
        for (int x = 3; x < caption.width() - 3 && firstLetter == caption.width(); ++x)
            for (int y = caption.height() / 4; y < caption.height() * 3 / 4; ++y)
                if (qGray(caption.pixel(x, y)) - qGray(face) > 60) {
                    firstLetter = x;
                    break;
                }
        EXPECT_GT(firstLetter, 5 + picture.width()) << "the caption starts right of the picture";
    }
}
