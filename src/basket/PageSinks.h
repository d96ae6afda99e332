#pragma once
// The multipage documents as sinks of the page pipeline: a new TIFF or PDF, and pages added to an
// existing one.
#include "pages/PagePipeline.h"

#include <QString>
#include <memory>

namespace tf {

class TiffAppendSession;
class PdfUpdateSession;
class PdfRewriteAppend;

// A new TIFF, written beside the target as the pages come and put in its place at the end. A
// document that may pass 4 GiB is written as BigTIFF.
class NewTiffSink final : public PageSink {
public:
    explicit NewTiffSink(QString target);
    ~NewTiffSink() override;
    void open(const PageSource& pages, const PageFormat& format) override;
    // A Group 4 page of a TIFF goes into a Group 4 document as it is.
    bool takesAsItIs(const QString& path) const override;
    bool addFile(const QString& path) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return !m_replacing; }

private:
    QString m_target;
    bool m_replacing;
    PageFormat m_format;
    std::unique_ptr<NewTiffWriter> m_writer;
};

// A new PDF, streamed beside the target; a JPEG file, and the Group 4 page of a TIFF, go in as
// they are.
class NewPdfSink final : public PageSink {
public:
    explicit NewPdfSink(QString target);
    ~NewPdfSink() override;
    void open(const PageSource& pages, const PageFormat& format) override;
    bool takesAsItIs(const QString& path) const override;
    bool addFile(const QString& path) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return !m_replacing; }

private:
    QString m_target;
    bool m_replacing;
    PageFormat m_format;
    std::unique_ptr<NewPdfWriter> m_writer;
};

// Where appended pages go: before the first page or after the last.
enum class AppendAt { Beginning, End };

// Pages appended to an existing TIFF, in place or into a new file beside it: written after the
// old end and joined with one pointer rewritten at commit; a rollback cuts the file back.
class TiffAppendSink final : public PageSink {
public:
    TiffAppendSink(QString document, QString target, AppendAt at, QString software);
    ~TiffAppendSink() override;
    void open(const PageSource& pages, const PageFormat& format) override;
    // A Group 4 page of a TIFF goes into a Group 4 append as it is.
    bool takesAsItIs(const QString& path) const override;
    bool addFile(const QString& path) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return true; }

private:
    QString m_document;
    QString m_target;
    AppendAt m_at;
    QString m_software;
    std::unique_ptr<TiffAppendSession> m_session;
    PageFormat m_format;
};

// Pages appended to an existing PDF, in place or into a copy beside it, as an incremental update
// written after the old end and taken in by its last line at commit; a rollback cuts the file
// back. A document that cannot take a plain update (encrypted, a rebuilt cross-reference) is
// read once and written once, beside the target, as before. A JPEG file goes in as it is.
class PdfAppendSink final : public PageSink {
public:
    PdfAppendSink(QString document, QString target, AppendAt at);
    ~PdfAppendSink() override;
    void open(const PageSource& pages, const PageFormat& format) override;
    bool takesAsItIs(const QString& path) const override;
    bool addFile(const QString& path) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    void rollback() noexcept override;
    bool keepsPagesOnCancel() const override { return true; }
    // Whether the pages go in as an update (after open).
    bool updates() const { return m_update != nullptr; }

private:
    int position() const { return m_at == AppendAt::Beginning ? m_added + 1 : 0; }
    void update(const PdfPageImage& page);
    PdfRewriteAppend& rewrite();
    QString m_document;
    QString m_target;
    AppendAt m_at;
    PageFormat m_format;
    int m_added = 0;
    std::unique_ptr<PdfUpdateSession> m_update;
    // A document an update cannot rest on: its pages gathered, written at commit.
    std::unique_ptr<PdfRewriteAppend> m_rewrite;
};

// What a TIFF of these pages may take at most, from the pages' headers (a page whose header
// cannot be read counts nothing: it is most likely left out as unreadable).
qint64 tiffBytesAtMost(const PageSource& pages, int colorFormat, int compression);

} // namespace tf
