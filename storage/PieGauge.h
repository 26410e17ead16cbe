// The pie-shaped progress indicator of the stored-programs window: a disc filled clockwise from
// twelve o'clock in proportion to the progress between the minimum and the maximum.
#pragma once

#include <QWidget>

class TPieGauge : public QWidget {
public:
    explicit TPieGauge(QWidget* parent = nullptr);

    void SetRange(int minValue, int maxValue);
    void SetProgress(int value);
    int MinValue() const { return FMin; }
    int MaxValue() const { return FMax; }
    int Progress() const { return FProgress; }
    // Whole percent done, for the accessible description and the tests.
    int PercentDone() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();

    int FMin = 0;
    int FMax = 100;
    int FProgress = 0;
};
