#pragma once
// The block map: one row per NAND block (BLOCK, ADDRESS, STATUS), each row's
// back colour telling what happened to the block.
#include <QAbstractTableModel>
#include <QTableView>
#include <array>
#include <cstdint>
#include <vector>

namespace velmora::app {

class BlockMapModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    static constexpr uint32_t kForeColour = 0xC81414;

    // No rows and no columns.
    void Reset();
    // One row per block, addresses block_size apart (32-bit products).
    void Init(int block_count, uint32_t block_size);
    // Column text of a block's row; blocks outside the map are ignored.
    void SetText(int block, int column, const QString& text);
    // Back colour (0x00BBGGRR) of a block's row; false when the block has no row.
    bool Mark(int block, uint32_t colour);

    int blockCount() const { return static_cast<int>(rows_.size()); }
    QString text(int block, int column) const;
    // -1 while the row has its default colour.
    int64_t colour(int block) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Row {
        std::array<QString, 3> texts;
        int64_t colour = -1;
    };
    std::vector<Row> rows_;
    int columns_ = 0;
};

class BlockMapView : public QTableView {
    Q_OBJECT
  public:
    explicit BlockMapView(QWidget* parent = nullptr);
    void setBlockModel(BlockMapModel* model);
    // Keeps a just-marked block in view as the fourth visible row.
    void ScrollToBlock(int block);
    // Index of the first visible block.
    int topBlock() const;

  private:
    void ApplyColumns();
};

}  // namespace velmora::app
