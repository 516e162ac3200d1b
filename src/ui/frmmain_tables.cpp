#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::connectTableHandlers() {}

}  // namespace tabvoro::ui
