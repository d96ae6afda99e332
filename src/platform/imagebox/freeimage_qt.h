#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>
#include <QStringList>

struct FIBITMAP;

namespace tf {

// Calls FreeImage_Initialise once; every function below does it for you.
void ensureFreeImage();

// Owns one FreeImage bitmap.
struct FreeImageUnloader {
    void operator()(FIBITMAP* bitmap) const;
};
using FreeImageBitmap = std::unique_ptr<FIBITMAP, FreeImageUnloader>;

// FreeImage bitmap to QImage, keeping the depth where Qt has a matching format: 1 bit stays
// Format_Mono, 4 and 8 bit stay Format_Indexed8 with their palette and its transparent entries,
// 24 bit becomes Format_RGB888, 32 bit Format_ARGB32; 16-bit grey and float grey become 8-bit grey
// at the same levels (floats 0..1 black to white), float colour 24 or 32 bit; other types (48 bit,
// 64 bit) are converted to 24 or 32 bit first.
// The resolution travels with the pixels. A null bitmap gives a null image.
QImage qimageFromFreeImage(FIBITMAP* bitmap);

// QImage to a new FreeImage bitmap (the caller unloads it): Mono and Indexed8 keep their depth
// and palette, Grayscale8 becomes 8 bit with a grey palette, opaque images 24 bit, images with
// alpha 32 bit. A null image gives nullptr.
FIBITMAP* freeImageFromQImage(const QImage& image);

// Collects the messages FreeImage's plugins emit on this thread while it lives. Some damage is
// reported only there: a truncated JPEG still decodes, grey where the data ran out.
class FreeImageMessages {
public:
    FreeImageMessages();
    ~FreeImageMessages();
    FreeImageMessages(const FreeImageMessages&) = delete;
    FreeImageMessages& operator=(const FreeImageMessages&) = delete;
    const QStringList& messages() const { return m_messages; }
    bool contains(const QString& text) const;

private:
    friend void appendFreeImageMessage(const char* message);
    QStringList m_messages;
    FreeImageMessages* m_outer = nullptr;
};

} // namespace tf
