#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace quillon {

// A titled group of mutually exclusive choices addressed by index, with "no choice" as -1.
// ItemIndexChanged fires whenever the index really changes, by a click or by SetItemIndex.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    TRadioGroup(const QString& title, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int ItemIndex() const;
    // Values above the last item select the last item; negative values clear the choice.
    void SetItemIndex(int index);
    int Count() const;

  signals:
    void ItemIndexChanged(int index);

  private:
    QButtonGroup* Buttons;
};

}  // namespace quillon
