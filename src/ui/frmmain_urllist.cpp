#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::connectUrlListHandlers() {}

}  // namespace tabvoro::ui
