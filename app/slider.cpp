// The channel slider wrapper and the operator gestures behind its notifications.
#include "app/slider.h"

#include <QSlider>

CSlider::CSlider(QSlider* slider, QObject* parent) : QObject(parent), m_slider(slider) {
  m_slider->setOrientation(Qt::Vertical);
  m_slider->setInvertedAppearance(false);  // minimum at the bottom
  m_slider->setTracking(true);
  connect(m_slider, &QSlider::sliderMoved, this, &CSlider::Tracking);
  connect(m_slider, &QSlider::sliderReleased, this, &CSlider::Committed);
  connect(m_slider, &QSlider::valueChanged, this, &CSlider::OnValueChanged);
}

void CSlider::OnValueChanged() {
  // While the thumb is held, sliderMoved reports the drag and the release
  // reports the end; everything else the operator does is a whole change.
  if (m_programSet || m_slider->isSliderDown()) return;
  emit Committed();
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
