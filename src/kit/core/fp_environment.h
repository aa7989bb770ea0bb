// The floating-point environment the model runs in.
#ifndef SURGE_KIT_CORE_FP_ENVIRONMENT_H_
#define SURGE_KIT_CORE_FP_ENVIRONMENT_H_

namespace kit {

// Sets the calling thread up as the calculator runs: exceptions masked,
// subnormal results flushed to zero. Every thread that evaluates the model
// calls it first, since the setting belongs to the thread.
void use_model_fp_environment();

}  // namespace kit

#endif  // SURGE_KIT_CORE_FP_ENVIRONMENT_H_
