#pragma once
#include "platform/ui/imagelist.h"

#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

namespace tf {

// A group, an item or an icon named either by its number or by its key, as the bar's callers
// have always been free to do.
class EbRef {
public:
    EbRef(int number) : m_number(number) {}
    EbRef(const QString& key) : m_isKey(true), m_key(key) {}
    EbRef(const char* key) : m_isKey(true), m_key(QString::fromUtf8(key)) {}

    bool isKey() const { return m_isKey; }
    int number() const { return m_number; }
    const QString& key() const { return m_key; }
    // The reference as it appears in messages: the key, or the number written out.
    QString text() const { return m_isKey ? m_key : QString::number(m_number); }

private:
    bool m_isKey = false;
    int m_number = 0;
    QString m_key;
};

struct typExplorerBarItem {
    QString sKey;
    int iIndex = 0;         // 1-based position in its group
    QString sCaption;
    int iIcon = -1;         // number in the image list, -1 for none
    QRect rcItem;           // set by the layout pass; kept from the last pass while not shown
    bool bHover = false;
};

struct typExplorerBarGroup {
    QString sKey;
    QString sCaption;
    QVector<typExplorerBarItem> aItems;
    bool bExpanded = true;
    QRect rcHeader;         // set by the layout pass
    bool bHover = false;
    int iHeaderState = 1;   // 1 normal, 2 hot, 3 pressed
    int32_t lBodyHeight = 0;
    QPointer<QWidget> pChild;

    int iItemCount() const { return static_cast<int>(aItems.size()); }
};

// What the explorer bar holds and how its callers address it, without any window: groups and
// items with their keys and captions, the image list, the flags. Every member that changes the
// content answers true, and the widget repaints; a member that changed nothing answers false.
// Out-of-range group numbers leave everything as it was and answer false.
class ExplorerBarModel {
public:
    static constexpr int kSpecialGroup = -1;
    static constexpr int kDetailsGroup = -2;
    static constexpr int kNoGroup = -3;
    static inline const QString kSpecialGroupKey = QStringLiteral("Special Group");
    static inline const QString kDetailsGroupKey = QStringLiteral("Details Group");

    // Lookups.
    int GetGroupsByKeyN(const EbRef& group) const;
    bool fncGroupExists(int index, QString* key = nullptr) const;
    int GetItemIndex(const typExplorerBarGroup& group, const EbRef& item) const;
    int GetIconIndex(const EbRef& icon) const;

    // The record of group -1, -2 or 1..count, or nullptr.
    typExplorerBarGroup* groupRecord(int number);
    const typExplorerBarGroup* groupRecord(int number) const;
    int groupCount() const { return static_cast<int>(m_Groups.size()); }
    // The groups on show, top to bottom: the special group, the normal ones, the details group.
    QVector<int> shownGroups() const;
    QString groupKey(int number) const;

    // Members. The optional pictures and type of AddGroup are accepted and ignored.
    bool AddGroup(const QString& sKey, const QString& sCaption, int iType = 0, const QPixmap& imgIcon = {},
                  const QPixmap& imgBackground = {}, int32_t lMaskColor = 0);
    bool AddItem(const EbRef& group, const QString& sKey, const QString& sCaption,
                 const std::optional<EbRef>& iIcon = std::nullopt);
    void SetImageList(ImageList* imageList) { m_ImageList = imageList; }
    ImageList* imageList() const { return m_ImageList; }
    bool AddSpecialGroup(const QString& Caption, const QPixmap& Icon = {}, const QPixmap& background = {});
    bool HideSpecialGroup();
    bool AddDetailsGroup(const QString& Caption, const QString& sTittle, const QString& sDetails);
    bool SetDetailsText(const QString& sDetails);
    bool HideDetailsGroup();
    // Empties the bar; gives the hosted panels of the normal groups so that the widget can hand
    // them back to their owners.
    QVector<QPointer<QWidget>> ClearStructure();
    bool ClearGroup(const EbRef& group);
    // Hosts child as the group's body (nullptr removes it). A child hosted by another group
    // moves here. *previous receives the panel the group held before, when it was another one.
    bool SetGroupChild(const EbRef& group, QWidget* child, QWidget** previous = nullptr);
    bool ExpandGroup(const EbRef& group, std::optional<bool> bExpand = std::nullopt);
    bool SetGroupCaption(const EbRef& group, const QString& sNewCaption);
    bool SetItemIcon(const EbRef& group, const EbRef& item, const EbRef& iNewIcon);
    bool SetItemText(const EbRef& group, const EbRef& item, const QString& sNewCaption);
    void DisableUpdates(bool bDisable = false) { m_bPaintEnabled = !bDisable; }
    bool SetDetailsImage(const QPixmap& detailsImage = {});
    static QString GetControlVersion() { return QStringLiteral("1.91"); }

    // Where the messages go: the error box shows a critical message titled "ExplorerBar"; the
    // quiet ones go to this sink (none by default), which tests set to see them.
    std::function<void(const QString&)> ignoredErrors;

    QVector<typExplorerBarGroup> m_Groups;
    QPointer<ImageList> m_ImageList;
    bool m_bSpecialGroup = false;
    typExplorerBarGroup m_SpecialGroup;
    QPixmap m_SpecialIcon, m_SpecialBackground;
    bool m_bDetailsGroup = false;
    typExplorerBarGroup m_DetailsGroup;
    QString m_sDetailsTitle, m_sDetailsText;
    QPixmap m_DetailsImage;
    bool m_bPaintEnabled = false; // on when the bar is first shown
    int m_iScrollValue = 0;
    int32_t m_lClientWidth = 0;
    QRect m_rcDetailsText;
    bool m_bUseUxThemeText = true;

private:
    void subShowError(const QString& text) const;
    void subIgnoreError(const QString& text) const;
    void subRangeError(const char* member, const EbRef& group) const;
    // The item that SetItemIcon and SetItemText change, with their messages when there is none.
    typExplorerBarItem* itemToChange(const EbRef& group, const EbRef& item);
};

} // namespace tf
