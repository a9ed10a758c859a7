// Glint::Window, headless half: no window and no display. The surface still receives every frame
// (capture, screenshots, tests); geometry is computed for a pretended desktop.
#include "glint.h"

namespace Glint {

bool Window::HeadlessOpen(const char* title, int width, int height)
{
    ComputeGeometry(m_desktopWidth, m_desktopHeight);
    m_mouseX = 0;
    m_mouseY = 0;
    return true;
}

bool Window::HeadlessUpdate()
{
    UpdateClock();
    if (m_quitPending) {
        m_quitPending = false;
        return false;
    }
    return true;
}

void Window::HeadlessClose()
{
}

}  // namespace Glint
