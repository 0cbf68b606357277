// CSlider: the window's handle on one channel slider, a vertical QSlider with 0
// at the bottom. It raises Tracking (notification 1) while the operator drags
// the thumb and Committed (notification 2) when an operator's change is
// complete: thumb released, keyboard, wheel or a click on the groove. A value
// set by the program raises neither.
#pragma once

#include <QObject>
#include <cstdint>

class QSlider;

class CSlider : public QObject {
  Q_OBJECT

 public:
  // `slider` is owned by its window; the wrapper only drives it.
  explicit CSlider(QSlider* slider, QObject* parent = nullptr);

  void SetMin(int32_t value);
  void SetMax(int32_t value);
  // Property 10: the step of one arrow key press or wheel notch.
  void SetLineStep(int32_t step);
  int32_t GetValue() const;
  // Shows `value` within the range; raises no notification.
  void SetValue(int32_t value);

  QSlider* Widget() const { return m_slider; }

 signals:
  void Tracking();
  void Committed();

 private:
  void OnValueChanged();

  QSlider* m_slider;
  bool m_programSet = false;
};
