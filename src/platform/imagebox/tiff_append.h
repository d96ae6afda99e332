#pragma once
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/tiff_pages.h"

#include <QString>
#include <memory>

namespace tf {

// Pages added to an existing TIFF in time that grows with the new pages only. They are written
// after the old end of the file, and the document takes them with one pointer rewritten last,
// once they are on the disk: until then every byte of the old pages is as it was, so a reader
// sees the old document, and undoing the append is cutting the file back to its old length.
// The record of the append is on the disk before its first byte, so the next start makes that
// cut for a run killed at any moment before the relink, and leaves the pages once it was done.
class TiffAppendSession {
public:
    enum class Where { End, Beginning };
    // In place when target == document; otherwise `target` is a new file (the document's bytes
    // plus the pages), made beside it with the safe-write routine and never replacing an existing
    // file. Throws tf::ImageBoxError when the document is not a sound TIFF or cannot be opened
    // for writing.
    TiffAppendSession(const QString& document, const QString& target, Where where);
    ~TiffAppendSession(); // rolls back when not committed
    TiffAppendSession(const TiffAppendSession&) = delete;
    TiffAppendSession& operator=(const TiffAppendSession&) = delete;

    // A classic TIFF that the page could take past 4 GiB refuses it, and the session stays as it was.
    bool addPage(const PageRaster& page, int compression, const QString& software, QString* error);
    // A Group 4 page written with its strip as it is, on the same terms.
    bool addCodedPage(const Group4Strip& page, const QString& software, QString* error);
    // Relinks, syncs and forgets the record. With no page added nothing changes and false comes back.
    bool commit(QString* error);
    // Cuts the file back to its old length and forgets the record.
    void rollback() noexcept;
    // The pages added so far.
    int pageCount() const;

    // Tests stop a run at these points to see what a kill there leaves.
    enum class Step { BeforeRelink, AfterRelink };
    static void setStepHookForTests(void (*hook)(Step));

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace tf
