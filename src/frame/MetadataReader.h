#pragma once
// The seam between the preview and the metadata pane: the browse area hands the shown file to a
// reader it is given when it is made; the metadata area provides one, and until one is given the
// program hands in the explicit "not available" reader below.

class ImageBox;
class QString;

namespace tf {

// The EXIF and IPTC of the shown file into the metadata lists, which the reader owns. A reader
// that throws leaves its list as it is; the preview goes on.
class MetadataReader {
public:
    virtual ~MetadataReader() = default;
    // The preview empties both lists before it shows another file.
    virtual void ClearLists() = 0;
    virtual void ReadFileEXIFInfo(ImageBox& control, const QString& path) = 0;
    virtual void ReadFileIPTCInfo(ImageBox& control, const QString& path) = 0;
    virtual bool HasIptc(const ImageBox& control) = 0;
    // How many rows each list holds (the "metadata" panel names the kinds that have any).
    virtual int ExifRowCount() const = 0;
    virtual int IptcRowCount() const = 0;
};

// No metadata reading: the lists stay empty and no file has IPTC.
class MetadataNotAvailable final : public MetadataReader {
public:
    void ClearLists() override {}
    void ReadFileEXIFInfo(ImageBox&, const QString&) override {}
    void ReadFileIPTCInfo(ImageBox&, const QString&) override {}
    bool HasIptc(const ImageBox&) override { return false; }
    int ExifRowCount() const override { return 0; }
    int IptcRowCount() const override { return 0; }
};

} // namespace tf
