#pragma once
// Adding files to the basket while the window goes on working: thumbnails come from the decoder
// pool as they are read, multipage sources are split into temp page files on a worker thread,
// and the pages join the basket in the order of the files as soon as everything before them is
// there. One BasketAdding is one add (chosen files, a drop, a basket file); it is cancelled by
// cancel() or by going away, after which nothing more lands in the basket.
#include "basket/modBasket.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace tf::decode {
class DecodeFeed;
struct DecodeResult;
} // namespace tf::decode

namespace tf::basket {

// One file to add.
struct AddSource {
    QString path;             // the file read
    QString failName;         // how the list of files not added names it
    QString displayName;      // how the panels name it while it is added
    PageRecord page;          // the row of a single page: texts, tag and source; resolution when known
    QImage thumbnail;         // the basket thumbnail when the caller has one; read from the file otherwise
    bool askSize = false;     // with a thumbnail and no resolution: the file is read for its size
    int pageCount = 1;        // 2 or more: split into temp page files named by `naming`
    bool countPages = false;  // the decoders count the pages first (a TIFF named in a basket file)
    SplitNaming naming;
    int progress = 0;         // where the progress bar stands once the source is done
};

class PageSplitter;

class BasketAdding : public QObject {
    Q_OBJECT
public:
    BasketAdding(BasketModel& basket, ImageList& images, QObject* parent = nullptr);
    ~BasketAdding() override; // cancels

    // Once. Sources already in the basket, or named twice, are skipped. May finish before it
    // returns when nothing has to be read.
    void start(std::vector<AddSource> sources);
    void cancel();
    bool isRunning() const { return m_started && !m_ended; }
    const AddSource& source(int index) const { return m_items.at(size_t(index)).source; }

signals:
    // Source `index` is next to join the basket.
    void sourceStarted(int index);
    // Page `page` of a split source is being extracted, and is done.
    void pageStarting(int index, int page, int pageCount);
    void pageDone(int index, int page, int pageCount);
    // Its pages are in the basket; lastRow is its last page's row, -1 when none was added.
    void sourceDone(int index, int lastRow);
    // Every source is done; `failed` names the files and pages not added (fncFailedEntry).
    void finished(const QStringList& failed);

private:
    enum class Stage { Reading, Ready, Splitting };
    struct Item {
        AddSource source;
        Stage stage = Stage::Ready;
        bool announced = false;
    };
    enum class Asked { Count, Thumbnail };
    struct Request {
        int item = 0;
        Asked asked = Asked::Thumbnail;
    };

    void ask(int item, Asked asked);
    void onDecoded(int index, const tf::decode::DecodeResult& result);
    void onSplitPage(const SplitPage& page);
    void onSplitEnded();
    // Adds what is ready at the head, in order, until something is still being read.
    void advance();
    void addSinglePage(Item& item);

    BasketModel& m_basket;
    ImageList& m_images;
    QSize m_thumbBox;
    tf::decode::DecodeFeed* m_feed = nullptr;
    std::map<int, Request> m_asked; // feed index -> what it reads
    std::vector<Item> m_items;
    QPointer<PageSplitter> m_splitter;
    QStringList m_failed;
    int m_head = 0;
    int m_lastRow = -1; // of the split at the head
    bool m_started = false;
    bool m_ended = false;
};

} // namespace tf::basket
