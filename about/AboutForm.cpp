#include "AboutForm.h"

#include "Platform.h"

namespace vrx {

AboutForm::AboutForm(Platform& platform, QWidget* owner) : QDialog(owner), m_platform(platform) {}

void AboutProg_Click(Platform& platform, QWidget* owner)
{
    AboutForm form(platform, owner);
    form.exec();
}

} // namespace vrx
