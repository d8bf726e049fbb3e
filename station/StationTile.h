#pragma once

#include <QFrame>
#include <QString>

#include "device/ProvisionJob.h"
#include "device/ProvisionStation.h"

class QLabel;
class QProgressBar;

namespace quillon::station {

// One adapter position of the bench (a USB port): the adapter on it, its job's step and
// progress while it runs, then PASS or FAIL in large letters, which stay until the next adapter
// on that port starts.
class TStationTile : public QFrame {
    Q_OBJECT

  public:
    enum class State { Running, Passed, Failed };

    // port: what the operator finds the position by; the object name is "tile:" + port.
    explicit TStationTile(const QString& port, QWidget* parent = nullptr);

    // units: the progress bar's length, one unit per update block and per settings step.
    void BeginJob(const QString& node, const HidIdentity& identity, int units);
    void ShowProgress(const LiveJob& job, bool updates);
    void ShowResult(const ProvisionRecord& record);

    State CurrentState() const { return state_; }
    QString ResultText() const;  // "PASS", "FAIL", or empty while running
    QString StepText() const;
    QString ReasonText() const;
    int Jobs() const { return jobs_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void SetState(State state);

    QString port_;
    State state_ = State::Running;
    int jobs_ = 0;
    QLabel* lbPort = nullptr;
    QLabel* lbAdapter = nullptr;
    QLabel* lbStep = nullptr;
    QProgressBar* jobBar_ = nullptr;
    QLabel* lbSeconds = nullptr;
    QLabel* lbResult = nullptr;
    QLabel* lbReason = nullptr;
};

}  // namespace quillon::station
