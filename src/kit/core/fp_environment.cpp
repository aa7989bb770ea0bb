// The floating-point environment the model runs in, through the OS layer.
#include "kit/core/fp_environment.h"

#include "platform/platform.h"

namespace kit {

void use_model_fp_environment() {
  platform::mask_floating_point_exceptions();
  platform::enable_flush_to_zero();
}

}  // namespace kit
