#pragma once

#include <QColor>
#include <QObject>

// Settings of the segmented bar styles. Owned by the bar; every real change
// emits changed() so the owner redraws.
class TSmallBar : public QObject {
    Q_OBJECT
public:
    explicit TSmallBar(QObject* parent = nullptr);

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    QColor BarColor() const { return barColor_; }
    void SetBarColor(const QColor& color);
    quint8 BarCount() const { return barCount_; }
    void SetBarCount(quint8 count);
    quint8 HSpace() const { return hSpace_; }
    void SetHSpace(quint8 space);
    quint8 VSpace() const { return vSpace_; }
    void SetVSpace(quint8 space);

signals:
    void changed();

private:
    bool autoSize_ = true;
    QColor barColor_ = QColor(0, 0, 128);
    quint8 barCount_ = 10;
    quint8 hSpace_ = 3;
    quint8 vSpace_ = 3;
};
