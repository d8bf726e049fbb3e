#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <deque>

class QListView;
class QTimer;

namespace quillon {

// The lines of the raw-report page's history. An adapter may send an input report every
// millisecond (eight times as many at high speed). A list view lays its rows out again after
// every change of its model, which costs time in proportion to the rows it holds; so new lines
// wait in a queue and join the model together once per frame, and only the newest Capacity
// lines are kept: an unbounded history at those rates would use up the memory within hours.
class THistoryModel : public QAbstractListModel {
    Q_OBJECT

  public:
    static constexpr int kDefaultCapacity = 100000;
    // About one screen refresh.
    static constexpr int kFlushIntervalMs = 16;

    explicit THistoryModel(QObject* parent = nullptr, int capacity = kDefaultCapacity);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Queues a line for the end of the history; it becomes a row at the next flush.
    void Append(const QString& line);
    // Turns the queued lines into rows now, dropping the oldest rows beyond the capacity.
    void Flush();
    // Drops every row and every queued line.
    void Clear();

    int Capacity() const { return capacity_; }
    const QString& Line(int row) const { return lines_[static_cast<size_t>(row)]; }
    // Lines appended since the model was made, dropped and queued ones included.
    qint64 AppendedCount() const { return appended_; }

  private:
    std::deque<QString> lines_;
    QStringList pending_;
    QTimer* flushTimer_;
    int capacity_;
    qint64 appended_ = 0;
};

// Keeps a list view on its model's newest line, selected and scrolled into view, once for each
// batch of lines the model takes in rather than once per line.
class THistoryFollower : public QObject {
    Q_OBJECT

  public:
    THistoryFollower(QListView* view, THistoryModel* model);

    qint64 FollowCount() const { return follows_; }

  private:
    void Follow();

    QListView* view_;
    THistoryModel* model_;
    qint64 follows_ = 0;
};

}  // namespace quillon
