#include "updater/app/step_pages.h"

namespace updater {

StepPages LinkedStepPages() {
    StepPages pages;
    return pages;
}

}  // namespace updater
