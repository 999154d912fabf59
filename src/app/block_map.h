#pragma once
// The block map on screen: the job's BlockMap (one row per NAND block, BLOCK /
// ADDRESS / STATUS, a back colour per row) as a table model and its view.
#include <QAbstractTableModel>
#include <QTableView>
#include <cstdint>
#include <string>

#include "frontend/block_map.h"

namespace velmora::app {

class BlockMapModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    // The job's block map operations, applied on the window's thread.
    void Clear();
    void Init(int block_count, uint32_t block_size);
    void SetText(int block, int column, const std::string& text);
    // False when the block has no row.
    bool Mark(int block, uint32_t colour);

    const BlockMap& map() const { return map_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    BlockMap map_;
};

class BlockMapView : public QTableView {
    Q_OBJECT
  public:
    explicit BlockMapView(QWidget* parent = nullptr);
    void setBlockModel(BlockMapModel* model);
    // Scrolls so that grid row `top_row` (1 = block 0) is the first one shown.
    void ScrollToTopRow(int top_row);
    // Index of the first block shown.
    int topBlock() const;

  private:
    int ColumnsWidth() const;
    void ApplyColumns();
};

}  // namespace velmora::app
