// The demo's scene: a ball bouncing over a rolling wave, drawn as text.
#ifndef ZELTIMERS_FRAMEDEMO_SCENE_H
#define ZELTIMERS_FRAMEDEMO_SCENE_H

#include <string>

namespace framedemo {

// A character frame buffer of fixed size, row by row.
class Canvas {
public:
  Canvas(int width, int height);

  int Width() const { return m_Width; }
  int Height() const { return m_Height; }
  void Fill(char c);
  // Cells outside the canvas are ignored, so shapes may be clipped freely.
  void Put(int x, int y, char c);
  char At(int x, int y) const;
  // The rows, each ending in '\n'.
  std::string Text() const;

private:
  int m_Width;
  int m_Height;
  std::string m_Cells;
};

// Draws the scene as it looks `seconds` into the animation. The ball is the
// one 'O' on the canvas.
void DrawScene(double seconds, Canvas& canvas);

}  // namespace framedemo

#endif
