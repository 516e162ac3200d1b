#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::connectFindHandlers() {}

}  // namespace tabvoro::ui
