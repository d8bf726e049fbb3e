#include "device/ui/HistoryModel.h"

#include <QListView>
#include <QTimer>
#include <algorithm>

namespace quillon {

THistoryModel::THistoryModel(QObject* parent, int capacity)
    : QAbstractListModel(parent), flushTimer_(new QTimer(this)), capacity_(std::max(capacity, 1)) {
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(kFlushIntervalMs);
    connect(flushTimer_, &QTimer::timeout, this, &THistoryModel::Flush);
}

int THistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    return Line(index.row());
}

void THistoryModel::Append(const QString& line) {
    pending_.append(line);
    ++appended_;
    if (!flushTimer_->isActive()) {
        flushTimer_->start();
    }
}

void THistoryModel::Flush() {
    flushTimer_->stop();
    if (pending_.isEmpty()) {
        return;
    }
    // Of a batch larger than the whole history only its newest lines could stay.
    if (pending_.size() > capacity_) {
        pending_.remove(0, pending_.size() - capacity_);
    }
    const int incoming = static_cast<int>(pending_.size());
    const int overflow = static_cast<int>(lines_.size()) + incoming - capacity_;
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, overflow - 1);
        lines_.erase(lines_.begin(), lines_.begin() + overflow);
        endRemoveRows();
    }
    const int first = static_cast<int>(lines_.size());
    beginInsertRows(QModelIndex(), first, first + incoming - 1);
    lines_.insert(lines_.end(), pending_.begin(), pending_.end());
    endInsertRows();
    pending_.clear();
}

void THistoryModel::Clear() {
    flushTimer_->stop();
    pending_.clear();
    if (lines_.empty()) {
        return;
    }
    beginResetModel();
    lines_.clear();
    endResetModel();
}

THistoryFollower::THistoryFollower(QListView* view, THistoryModel* model)
    : QObject(view), view_(view), model_(model) {
    connect(model_, &QAbstractItemModel::rowsInserted, this, &THistoryFollower::Follow);
}

void THistoryFollower::Follow() {
    const int rows = model_->rowCount();
    if (rows == 0) {
        return;
    }
    const QModelIndex newest = model_->index(rows - 1, 0);
    view_->setCurrentIndex(newest);
    view_->scrollTo(newest, QAbstractItemView::PositionAtBottom);
    ++follows_;
}

}  // namespace quillon
