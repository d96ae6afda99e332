#include "controls/explorerbar/ExplorerBarModel.h"

#include "platform/ui/msgbox.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcExplorerBar, "tf.explorerbar", QtWarningMsg)

namespace tf {

// ---- messages -------------------------------------------------------------------------------

void ExplorerBarModel::subShowError(const QString& text) const
{
    MsgBox(QStringLiteral("An Error has ocurred!\n") + text, vbCritical, QStringLiteral("ExplorerBar"));
}

void ExplorerBarModel::subIgnoreError(const QString& text) const
{
    if (ignoredErrors) ignoredErrors(text);
}

// A wrong group number was fatal once; now the call is refused and the bar stays as it was.
void ExplorerBarModel::subRangeError(const char* member, const EbRef& group) const
{
    qCDebug(lcExplorerBar) << member << ": no group" << group.text();
}

// ---- lookups --------------------------------------------------------------------------------

int ExplorerBarModel::GetGroupsByKeyN(const EbRef& group) const
{
    if (!group.isKey()) return group.number();
    for (int i = 0; i < groupCount(); ++i)
        if (m_Groups[i].sKey == group.key()) return i + 1;
    if (group.key() == kSpecialGroupKey) return kSpecialGroup;
    // Only this short form names the details group; its stored key does not.
    if (group.key() == QLatin1String("Details")) return kDetailsGroup;
    return kNoGroup;
}

bool ExplorerBarModel::fncGroupExists(int index, QString* key) const
{
    QString found;
    bool exists = true;
    if (index >= 1 && index <= groupCount()) found = m_Groups[index - 1].sKey;
    else if (index == kSpecialGroup) found = kSpecialGroupKey;
    else if (index == kDetailsGroup) found = kDetailsGroupKey;
    else exists = false;
    if (key) *key = found;
    return exists;
}

QString ExplorerBarModel::groupKey(int number) const
{
    QString key;
    fncGroupExists(number, &key);
    return key;
}

int ExplorerBarModel::GetItemIndex(const typExplorerBarGroup& group, const EbRef& item) const
{
    if (group.iItemCount() == 0) {
        subShowError(QStringLiteral("GetItemIndex: There are no Items in this group!"));
        return 0;
    }
    if (item.isKey()) {
        for (int i = 0; i < group.iItemCount(); ++i)
            if (group.aItems[i].sKey == item.key()) return i + 1;
        subShowError(QStringLiteral("GetItemIndex/String: Item specified not found!"));
        return 0;
    }
    if (item.number() >= 1 && item.number() <= group.iItemCount()) return item.number();
    subShowError(QStringLiteral("GetItemIndex/Integer: Item specified not found!"));
    return 0;
}

int ExplorerBarModel::GetIconIndex(const EbRef& icon) const
{
    if (!m_ImageList) {
        subIgnoreError(QStringLiteral("No Defined Imagelist"));
        return -1;
    }
    const int count = m_ImageList->count();
    if (icon.isKey()) {
        for (int i = 1; i <= count; ++i)
            if (m_ImageList->key(i) == icon.key()) return i;
        subShowError(QStringLiteral("GetIconIndex: icon with key ") + icon.key() + QStringLiteral(" doesn't exist!"));
        return -1;
    }
    if (icon.number() >= 1 && icon.number() <= count) return icon.number();
    subIgnoreError(QStringLiteral("GetIconIndex: invalid Image Index!"));
    return -1;
}

typExplorerBarGroup* ExplorerBarModel::groupRecord(int number)
{
    return const_cast<typExplorerBarGroup*>(std::as_const(*this).groupRecord(number));
}

const typExplorerBarGroup* ExplorerBarModel::groupRecord(int number) const
{
    if (number >= 1 && number <= groupCount()) return &m_Groups[number - 1];
    if (number == kSpecialGroup) return &m_SpecialGroup;
    if (number == kDetailsGroup) return &m_DetailsGroup;
    return nullptr;
}

QVector<int> ExplorerBarModel::shownGroups() const
{
    QVector<int> order;
    if (m_bSpecialGroup) order.push_back(kSpecialGroup);
    for (int i = 1; i <= groupCount(); ++i) order.push_back(i);
    if (m_bDetailsGroup) order.push_back(kDetailsGroup);
    return order;
}

// ---- members --------------------------------------------------------------------------------

bool ExplorerBarModel::AddGroup(const QString& sKey, const QString& sCaption, int, const QPixmap&,
                                const QPixmap&, int32_t)
{
    typExplorerBarGroup group;
    group.sKey = sKey;
    group.sCaption = sCaption;
    m_Groups.push_back(group);
    return true;
}

bool ExplorerBarModel::AddItem(const EbRef& group, const QString& sKey, const QString& sCaption,
                               const std::optional<EbRef>& iIcon)
{
    const int icon = iIcon ? GetIconIndex(*iIcon) : -1;
    const int g = GetGroupsByKeyN(group);
    if (g == kNoGroup) {
        subIgnoreError(QStringLiteral("Can't assign items to the Especified group"));
        return false;
    }
    if (g == 0) {
        subIgnoreError(QStringLiteral("The group '") + group.text() + QStringLiteral("' doesn't exist"));
        return false;
    }
    typExplorerBarGroup* target = nullptr;
    if (g == kSpecialGroup) target = &m_SpecialGroup;
    else if (g >= 1 && g <= groupCount()) target = &m_Groups[g - 1];
    if (!target) { // the details group takes no items
        subRangeError("AddItem", group);
        return false;
    }
    typExplorerBarItem item;
    item.sKey = sKey;
    item.sCaption = sCaption;
    item.iIndex = target->iItemCount() + 1;
    item.iIcon = icon;
    target->aItems.push_back(item);
    return true;
}

bool ExplorerBarModel::AddSpecialGroup(const QString& Caption, const QPixmap& Icon, const QPixmap& background)
{
    m_bSpecialGroup = true;
    m_SpecialGroup.sCaption = Caption;
    m_SpecialGroup.sKey = kSpecialGroupKey;
    m_SpecialGroup.bExpanded = true;
    m_SpecialIcon = Icon;
    m_SpecialBackground = background;
    return true;
}

bool ExplorerBarModel::HideSpecialGroup()
{
    m_bSpecialGroup = false;
    return true;
}

bool ExplorerBarModel::AddDetailsGroup(const QString& Caption, const QString& sTittle, const QString& sDetails)
{
    m_bDetailsGroup = true;
    m_DetailsGroup.sCaption = Caption;
    m_DetailsGroup.sKey = kDetailsGroupKey;
    m_sDetailsTitle = sTittle;
    m_sDetailsText = sDetails;
    m_DetailsGroup.bExpanded = true;
    return true;
}

bool ExplorerBarModel::SetDetailsText(const QString& sDetails)
{
    m_sDetailsText = sDetails;
    m_DetailsGroup.bExpanded = true;
    return true;
}

bool ExplorerBarModel::HideDetailsGroup()
{
    m_bDetailsGroup = false;
    return true;
}

QVector<QPointer<QWidget>> ExplorerBarModel::ClearStructure()
{
    m_bSpecialGroup = false;
    m_SpecialGroup.aItems.clear();
    m_bDetailsGroup = false;
    QVector<QPointer<QWidget>> released;
    for (const typExplorerBarGroup& group : m_Groups)
        if (group.pChild) released.push_back(group.pChild);
    m_Groups.clear();
    m_iScrollValue = 0;
    return released;
}

bool ExplorerBarModel::ClearGroup(const EbRef& group)
{
    const int g = GetGroupsByKeyN(group);
    if (g != kSpecialGroup && (g < 1 || g > groupCount())) {
        subRangeError("ClearGroup", group);
        return false;
    }
    groupRecord(g)->aItems.clear();
    return true;
}

bool ExplorerBarModel::SetGroupChild(const EbRef& group, QWidget* child, QWidget** previous)
{
    if (previous) *previous = nullptr;
    const int g = GetGroupsByKeyN(group);
    if (g != kSpecialGroup && (g < 1 || g > groupCount())) {
        subRangeError("SetGroupChild", group);
        return false;
    }
    typExplorerBarGroup* target = groupRecord(g);
    // A second panel for the same group replaces the first; one panel has one place.
    if (target->pChild && target->pChild != child && previous) *previous = target->pChild;
    if (child) {
        for (int n : {kSpecialGroup, kDetailsGroup})
            if (groupRecord(n)->pChild == child) groupRecord(n)->pChild = nullptr;
        for (typExplorerBarGroup& other : m_Groups)
            if (other.pChild == child) other.pChild = nullptr;
    }
    target->pChild = child;
    return true;
}

bool ExplorerBarModel::ExpandGroup(const EbRef& group, std::optional<bool> bExpand)
{
    typExplorerBarGroup* target = groupRecord(GetGroupsByKeyN(group));
    if (!target) {
        subRangeError("ExpandGroup", group);
        return false;
    }
    target->bExpanded = bExpand ? *bExpand : !target->bExpanded;
    return true;
}

bool ExplorerBarModel::SetGroupCaption(const EbRef& group, const QString& sNewCaption)
{
    const int g = GetGroupsByKeyN(group);
    if (g == kNoGroup) return false; // an unknown key is quietly ignored
    typExplorerBarGroup* target = groupRecord(g);
    if (!target) {
        subRangeError("SetGroupCaption", group);
        return false;
    }
    target->sCaption = sNewCaption;
    return true;
}

typExplorerBarItem* ExplorerBarModel::itemToChange(const EbRef& group, const EbRef& item)
{
    const int g = GetGroupsByKeyN(group);
    const QString missing = QStringLiteral("The Group '") + group.text() + QStringLiteral("' doesn't exist");
    if (g == kNoGroup) {
        subShowError(missing);
        return nullptr;
    }
    if (g == kDetailsGroup) {
        subShowError(QStringLiteral("Details Group hasn't Child Items!"));
        return nullptr;
    }
    if (!fncGroupExists(g)) {
        subShowError(missing);
        return nullptr;
    }
    typExplorerBarGroup* target = groupRecord(g);
    const int index = GetItemIndex(*target, item);
    return index == 0 ? nullptr : &target->aItems[index - 1];
}

bool ExplorerBarModel::SetItemIcon(const EbRef& group, const EbRef& item, const EbRef& iNewIcon)
{
    const int icon = GetIconIndex(iNewIcon);
    typExplorerBarItem* target = itemToChange(group, item);
    if (!target) return false;
    target->iIcon = icon;
    return true;
}

bool ExplorerBarModel::SetItemText(const EbRef& group, const EbRef& item, const QString& sNewCaption)
{
    typExplorerBarItem* target = itemToChange(group, item);
    if (!target) return false;
    target->sCaption = sNewCaption;
    return true;
}

bool ExplorerBarModel::SetDetailsImage(const QPixmap& detailsImage)
{
    if (!detailsImage.isNull()) m_DetailsImage = detailsImage;
    return true;
}

} // namespace tf
