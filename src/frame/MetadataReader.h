#pragma once
// The seam between the preview and the metadata pane: the browse area hands the shown file to a
// reader it is given when it is made; the metadata area provides one, and until one is given the
// program hands in the explicit "not available" reader below.
#include <functional>

class QString;

namespace tf {

// Reads the EXIF and IPTC of the shown file into the metadata lists, which the reader owns. The
// file is parsed on a worker; the lists fill when the read is done, on the thread that asked.
class MetadataReader {
public:
    virtual ~MetadataReader() = default;
    // The preview empties both lists before it shows another file.
    virtual void ClearLists() = 0;
    // Starts reading `path`. When the read is done, the kinds asked for (`exif`, `iptc`) list what
    // was read and `done` is called with whether the file holds IPTC. A file that cannot be read
    // leaves the lists as they are and answers false. Another read, or cancelRead(), drops the
    // answer of one still under way: neither its lists nor its `done` are touched.
    virtual void readShownFile(const QString& path, bool exif, bool iptc, std::function<void(bool hasIptc)> done) = 0;
    virtual void cancelRead() = 0;
    // How many rows each list holds (the "metadata" panel names the kinds that have any).
    virtual int ExifRowCount() const = 0;
    virtual int IptcRowCount() const = 0;
};

// No metadata reading: the lists stay empty and no file has IPTC.
class MetadataNotAvailable final : public MetadataReader {
public:
    void ClearLists() override {}
    void readShownFile(const QString&, bool, bool, std::function<void(bool)> done) override
    {
        if (done) done(false);
    }
    void cancelRead() override {}
    int ExifRowCount() const override { return 0; }
    int IptcRowCount() const override { return 0; }
};

} // namespace tf
