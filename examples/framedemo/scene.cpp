#include "scene.h"

#include <cmath>
#include <cstddef>

namespace framedemo {

Canvas::Canvas(int width, int height)
    : m_Width(width > 0 ? width : 1),
      m_Height(height > 0 ? height : 1),
      m_Cells(static_cast<std::size_t>(m_Width) * m_Height, ' ') {}

void Canvas::Fill(char c) { m_Cells.assign(m_Cells.size(), c); }

void Canvas::Put(int x, int y, char c) {
  if (x < 0 || y < 0 || x >= m_Width || y >= m_Height) return;
  m_Cells[static_cast<std::size_t>(y) * m_Width + x] = c;
}

char Canvas::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_Width || y >= m_Height) return '\0';
  return m_Cells[static_cast<std::size_t>(y) * m_Width + x];
}

std::string Canvas::Text() const {
  std::string text;
  text.reserve(m_Cells.size() + m_Height);
  for (int y = 0; y < m_Height; ++y) {
    text.append(m_Cells, static_cast<std::size_t>(y) * m_Width, m_Width);
    text += '\n';
  }
  return text;
}

namespace {

// 0 -> 1 -> 0 over each unit of `phase`, for a ball bouncing between walls.
double Triangle(double phase) {
  const double fraction = phase - std::floor(phase);
  return fraction < 0.5 ? 2.0 * fraction : 2.0 - 2.0 * fraction;
}

}  // namespace

void DrawScene(double seconds, Canvas& canvas) {
  const int width = canvas.Width();
  const int height = canvas.Height();
  const int ground = height - 1;
  canvas.Fill(' ');

  for (int x = 0; x < width; ++x) {
    canvas.Put(x, ground, '=');
    // The wave rolls right and fills the two rows above the ground.
    const double wave = std::sin(0.35 * x - 4.0 * seconds);
    if (wave > 0.3) canvas.Put(x, ground - 1, '~');
    if (wave > 0.8) canvas.Put(x, ground - 2, '~');
  }
  // Stars twinkle in and out on the upper rows.
  for (int star = 0; star < 12; ++star) {
    const int x = (star * 37 + 5) % width;
    const int y = (star * 7) % (height / 2 > 0 ? height / 2 : 1);
    if (std::sin(2.0 * seconds + star) > -0.2) canvas.Put(x, y, star % 3 == 0 ? '*' : '.');
  }

  const int span = height - 4 > 0 ? height - 4 : 0;
  const double bounce = std::fabs(std::sin(2.5 * seconds));
  const int ballX = static_cast<int>(std::lround(Triangle(seconds / 6.0) * (width - 1)));
  const int ballY = ground - 3 - static_cast<int>(std::lround(bounce * span));
  canvas.Put(ballX, ballY < 0 ? 0 : ballY, 'O');
}

}  // namespace framedemo
