#include "app/block_map.h"

#include <QHeaderView>
#include <QScrollBar>

#include "app/colours.h"

namespace velmora::app {

namespace {
// Column widths of 960, 1480 and 960 twips at 96 dots per inch.
constexpr std::array<int, 3> kColumnWidths = {64, 99, 64};
const std::array<const char*, 3> kHeaders = {"BLOCK", "ADDRESS", "STATUS"};
}  // namespace

void BlockMapModel::Reset() {
    beginResetModel();
    rows_.clear();
    columns_ = 0;
    endResetModel();
}

void BlockMapModel::Init(int block_count, uint32_t block_size) {
    beginResetModel();
    rows_.assign(static_cast<size_t>(std::max(block_count, 0)), Row{});
    for (size_t i = 0; i < rows_.size(); ++i) {
        const uint32_t address = block_size * static_cast<uint32_t>(i);
        rows_[i].texts[0] = QString::number(i);
        rows_[i].texts[1] =
            QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(8, u'0');
    }
    columns_ = 3;
    endResetModel();
}

void BlockMapModel::SetText(int block, int column, const QString& text) {
    if (block < 0 || block >= blockCount() || column < 0 || column >= 3) {
        return;
    }
    rows_[static_cast<size_t>(block)].texts[static_cast<size_t>(column)] = text;
    const QModelIndex cell = index(block, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

bool BlockMapModel::Mark(int block, uint32_t colour) {
    if (block < 0 || block >= blockCount()) {
        return false;
    }
    rows_[static_cast<size_t>(block)].colour = colour;
    emit dataChanged(index(block, 0), index(block, columns_ - 1), {Qt::BackgroundRole});
    return true;
}

QString BlockMapModel::text(int block, int column) const {
    if (block < 0 || block >= blockCount() || column < 0 || column >= 3) {
        return {};
    }
    return rows_[static_cast<size_t>(block)].texts[static_cast<size_t>(column)];
}

int64_t BlockMapModel::colour(int block) const {
    if (block < 0 || block >= blockCount()) {
        return -1;
    }
    return rows_[static_cast<size_t>(block)].colour;
}

int BlockMapModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : blockCount();
}

int BlockMapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant BlockMapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= blockCount() || index.column() >= columns_) {
        return {};
    }
    const Row& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return row.texts[static_cast<size_t>(index.column())];
        case Qt::BackgroundRole:
            return row.colour < 0 ? QColor(Qt::white)
                                  : FromColourValue(static_cast<uint32_t>(row.colour));
        case Qt::ForegroundRole:
            return FromColourValue(kForeColour);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignTop);
        default:
            return {};
    }
}

QVariant BlockMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kHeaders[static_cast<size_t>(section)]);
    }
    if (role == Qt::ForegroundRole) {
        return FromColourValue(kForeColour);
    }
    return {};
}

BlockMapView::BlockMapView(QWidget* parent) : QTableView(parent) {
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    // The area outside the rows is black.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::black);
    setPalette(colours);
}

void BlockMapView::setBlockModel(BlockMapModel* model) {
    setModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, &BlockMapView::ApplyColumns);
    ApplyColumns();
}

void BlockMapView::ApplyColumns() {
    for (int c = 0; c < model()->columnCount(); ++c) {
        setColumnWidth(c, kColumnWidths[static_cast<size_t>(c)]);
    }
    verticalScrollBar()->setValue(0);
}

void BlockMapView::ScrollToBlock(int block) {
    verticalScrollBar()->setValue(block <= 4 ? 0 : block - 4);
}

int BlockMapView::topBlock() const {
    return verticalScrollBar()->value();
}

}  // namespace velmora::app
