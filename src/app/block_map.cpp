#include "app/block_map.h"

#include <QHeaderView>
#include <QScrollBar>
#include <array>

#include "app/colours.h"

namespace velmora::app {

namespace {
// The grid's column widths in twips, at 96 dots per inch.
int ColumnPixels(int column) {
    return BlockMap::kColumnWidths[column] * 96 / 1440;
}
}  // namespace

void BlockMapModel::Clear() {
    beginResetModel();
    map_.Clear();
    endResetModel();
}

void BlockMapModel::Init(int block_count, uint32_t block_size) {
    beginResetModel();
    map_.Init(block_count, block_size);
    endResetModel();
}

void BlockMapModel::SetText(int block, int column, const std::string& text) {
    if (map_.SetText(block, column, text)) {
        const QModelIndex cell = index(block, column);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

bool BlockMapModel::Mark(int block, uint32_t colour) {
    if (!map_.Mark(block, colour)) {
        return false;
    }
    emit dataChanged(index(block, 0), index(block, map_.columns() - 1), {Qt::BackgroundRole});
    return true;
}

int BlockMapModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || map_.columns() == 0 ? 0 : map_.block_count();
}

int BlockMapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : map_.columns();
}

QVariant BlockMapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(map_.Text(index.row() + 1, index.column()));
        case Qt::BackgroundRole: {
            const std::optional<uint32_t> colour = map_.Colour(index.row());
            return colour ? FromColourValue(*colour) : QColor(Qt::white);
        }
        case Qt::ForegroundRole:
            return FromColourValue(kBlockMapForeColour);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignTop);
        default:
            return {};
    }
}

QVariant BlockMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= map_.columns()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(map_.Text(0, section));
    }
    if (role == Qt::ForegroundRole) {
        return FromColourValue(kBlockMapForeColour);
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
    // The area outside the rows shows the grid's background colour.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, FromColourValue(kBlockMapBackground));
    setPalette(colours);
    // Wide enough for the three columns and the scroll bar, no wider.
    setFixedWidth(ColumnsWidth() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
}

void BlockMapView::setBlockModel(BlockMapModel* model) {
    setModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, &BlockMapView::ApplyColumns);
    ApplyColumns();
}

int BlockMapView::ColumnsWidth() const {
    int width = 0;
    for (int c = 0; c < BlockMap::kColumns; ++c) {
        width += ColumnPixels(c);
    }
    return width;
}

void BlockMapView::ApplyColumns() {
    for (int c = 0; c < model()->columnCount(); ++c) {
        setColumnWidth(c, ColumnPixels(c));
    }
    verticalScrollBar()->setValue(0);
}

void BlockMapView::ScrollToTopRow(int top_row) {
    verticalScrollBar()->setValue(std::max(top_row - 1, 0));
}

int BlockMapView::topBlock() const {
    return verticalScrollBar()->value();
}

}  // namespace velmora::app
