#pragma once
// The seam between the preview and the metadata pane: the browse area hands the shown file to a
// reader it is given when it is made; the metadata area provides one, and until one is given the
// program hands in the explicit "not available" reader below.

class ImageBox;
class QString;

namespace tf {

class ListView;

// The EXIF and IPTC of the shown file into the metadata lists. A reader that throws leaves its
// list as it is; the preview goes on.
class MetadataReader {
public:
    virtual ~MetadataReader() = default;
    virtual void ReadFileEXIFInfo(ImageBox& control, ListView& list, const QString& path) = 0;
    virtual void ReadFileIPTCInfo(ImageBox& control, ListView& list, const QString& path) = 0;
    virtual bool HasIptc(const ImageBox& control) = 0;
};

// No metadata reading: the lists stay empty and no file has IPTC.
class MetadataNotAvailable final : public MetadataReader {
public:
    void ReadFileEXIFInfo(ImageBox&, ListView&, const QString&) override {}
    void ReadFileIPTCInfo(ImageBox&, ListView&, const QString&) override {}
    bool HasIptc(const ImageBox&) override { return false; }
};

} // namespace tf
