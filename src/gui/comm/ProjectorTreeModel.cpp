#include "gui/comm/ProjectorTreeModel.h"

#include <QBrush>
#include <QMimeData>

namespace ombrix::gui {
namespace {

// A node's position packed into the index: root, child and grandchild, each plus one
// (0: the level is not used).
constexpr quintptr kLevelBits = 12;
constexpr quintptr kLevelMask = (quintptr{1} << kLevelBits) - 1;

quintptr Pack(const std::vector<int>& path) {
    quintptr id = 0;
    for (size_t i = 0; i < path.size(); ++i) id |= (static_cast<quintptr>(path[i]) + 1) << (kLevelBits * i);
    return id;
}

std::vector<int> Unpack(quintptr id) {
    std::vector<int> path;
    for (int level = 0; level < 3; ++level) {
        const quintptr part = (id >> (kLevelBits * static_cast<quintptr>(level))) & kLevelMask;
        if (part == 0) break;
        path.push_back(static_cast<int>(part) - 1);
    }
    return path;
}

QString StateText(int image) {
    switch (image) {
        case kImageOperating:
            return QStringLiteral("Operating");
        case kImagePause:
            return QStringLiteral("Pause");
        case kImageStandby:
            return QStringLiteral("StandBy");
        default:
            return {};
    }
}

}  // namespace

ProjectorTreeModel::ProjectorTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void ProjectorTreeModel::Sync(const std::vector<TreeNode>& roots) {
    beginResetModel();
    roots_ = roots;
    endResetModel();
}

const TreeNode* ProjectorTreeModel::Node(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    const std::vector<int> path = Unpack(index.internalId());
    const std::vector<TreeNode>* level = &roots_;
    const TreeNode* node = nullptr;
    for (int i : path) {
        if (i < 0 || i >= static_cast<int>(level->size())) return nullptr;
        node = &(*level)[static_cast<size_t>(i)];
        level = &node->children;
    }
    return node;
}

std::vector<int> ProjectorTreeModel::PathOf(const QModelIndex& index) const {
    return index.isValid() ? Unpack(index.internalId()) : std::vector<int>{};
}

QModelIndex ProjectorTreeModel::IndexOfPath(const std::vector<int>& path) const {
    QModelIndex at;
    for (int i : path) {
        at = index(i, 0, at);
        if (!at.isValid()) return {};
    }
    return at;
}

QModelIndex ProjectorTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
    std::vector<int> path = PathOf(parent);
    if (path.size() >= 3) return {};
    path.push_back(row);
    return createIndex(row, 0, Pack(path));
}

QModelIndex ProjectorTreeModel::parent(const QModelIndex& child) const {
    std::vector<int> path = PathOf(child);
    if (path.size() <= 1) return {};
    path.pop_back();
    return createIndex(path.back(), 0, Pack(path));
}

int ProjectorTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(roots_.size());
    if (parent.column() != 0) return 0;
    const TreeNode* node = Node(parent);
    return node && PathOf(parent).size() < 3 ? static_cast<int>(node->children.size()) : 0;
}

int ProjectorTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ProjectorTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* node = Node(index);
    if (!node) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return QString::fromStdString(node->text);
        case Qt::ForegroundRole:
            if (node->dimmed) return QBrush(Qt::gray);
            return {};
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole: {
            if (node->dimmed) return QStringLiteral("Not connected");
            const bool projector = NodeDataKind(node->data) == kNodeGroupOrProjector && NodeDataAddress(node->data) != 0;
            return projector ? StateText(node->image) : QVariant();
        }
        case Qt::DecorationRole:
            if (node->image >= 0 && node->image < static_cast<int>(images_.size()) &&
                !images_[static_cast<size_t>(node->image)].isNull())
                return images_[static_cast<size_t>(node->image)];
            return {};
        case kNodeDataRole:
            return static_cast<uint>(node->data);
        default:
            return {};
    }
}

bool ProjectorTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const TreeNode* node = Node(index);
    if (!node || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
    const QString text = value.toString();
    if (text.isEmpty()) return false;
    emit labelEdited(index, text);
    return true;
}

Qt::ItemFlags ProjectorTreeModel::flags(const QModelIndex& index) const {
    const TreeNode* node = Node(index);
    if (!node) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const std::vector<int> path = PathOf(index);
    // The main group is named after what it holds; every other group and projector label
    // can be edited.
    const bool mainGroup = path.size() == 1 && path[0] == 0;
    if (CanEditLabel(node->data) && !mainGroup) f |= Qt::ItemIsEditable;
    // Projectors are dragged from the main group onto a user group's node.
    if (path.size() == 2 && path[0] == 0) f |= Qt::ItemIsDragEnabled;
    if (path.size() == 1 && path[0] > 0) f |= Qt::ItemIsDropEnabled;
    return f;
}

QStringList ProjectorTreeModel::mimeTypes() const { return {QString::fromLatin1(kProjectorsMime)}; }

QMimeData* ProjectorTreeModel::mimeData(const QModelIndexList& indexes) const {
    QByteArray addresses;
    for (const QModelIndex& index : indexes) {
        const TreeNode* node = Node(index);
        if (node && NodeDataKind(node->data) == kNodeGroupOrProjector && NodeDataAddress(node->data) != 0)
            addresses.append(static_cast<char>(NodeDataAddress(node->data)));
    }
    if (addresses.isEmpty()) return nullptr;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kProjectorsMime), addresses);
    return mime;
}

Qt::DropActions ProjectorTreeModel::supportedDropActions() const { return Qt::CopyAction; }

bool ProjectorTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                         const QModelIndex& parent) const {
    const std::vector<int> path = PathOf(parent);
    return data && data->hasFormat(QString::fromLatin1(kProjectorsMime)) && path.size() == 1 && path[0] > 0;
}

bool ProjectorTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                      const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    const QByteArray bytes = data->data(QString::fromLatin1(kProjectorsMime));
    std::vector<uint8_t> addresses(bytes.begin(), bytes.end());
    emit projectorsDropped(PathOf(parent)[0], addresses);
    // The owner rebuilds the tree; nothing is moved here.
    return false;
}

}  // namespace ombrix::gui
