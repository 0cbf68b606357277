// The channel slider wrapper and the operator gestures behind its notifications.
#include "app/slider.h"

#include <QEvent>
#include <QSlider>

CSlider::CSlider(QSlider* slider, QObject* parent) : QObject(parent), m_slider(slider) {
  m_slider->setOrientation(Qt::Vertical);
  m_slider->setInvertedAppearance(false);  // minimum at the bottom
  m_slider->setTracking(true);
  // Tracking follows valueChanged rather than sliderMoved: sliderMoved comes
  // before the value takes the thumb's position, so a handler reading the
  // value then would see the one before.
  connect(m_slider, &QSlider::valueChanged, this, &CSlider::OnValueChanged);
  connect(m_slider, &QSlider::sliderPressed, this, [this] { m_valueAtPress = m_slider->value(); });
  connect(m_slider, &QSlider::sliderReleased, this, &CSlider::OnReleased);
  m_slider->installEventFilter(this);
}

void CSlider::OnValueChanged() {
  if (m_programSet) return;
  // While the thumb is held each new value is tracking and the release ends
  // the change; everything else the operator does is a whole change.
  if (m_slider->isSliderDown())
    emit Tracking();
  else
    emit Committed();
}

void CSlider::OnReleased() {
  if (m_slider->value() != m_valueAtPress) emit Committed();
}

bool CSlider::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_slider && event->type() == QEvent::Wheel && !m_slider->hasFocus()) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void CSlider::SetMin(int32_t value) {
  m_programSet = true;
  m_slider->setMinimum(value);
  m_programSet = false;
}

void CSlider::SetMax(int32_t value) {
  m_programSet = true;
  m_slider->setMaximum(value);
  m_programSet = false;
}

void CSlider::SetLineStep(int32_t step) { m_slider->setSingleStep(step); }

int32_t CSlider::GetValue() const { return m_slider->value(); }

void CSlider::SetValue(int32_t value) {
  m_programSet = true;
  m_slider->setValue(value);
  m_programSet = false;
}
