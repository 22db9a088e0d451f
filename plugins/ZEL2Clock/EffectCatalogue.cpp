#include "Registration.h"
#include "VOKResult.h"

namespace zel2clock {

void BuildEffectDefinition(IZELDefinitionFactory*, IVOKUnknown**) { VOKCheck(VOK_E_NOTIMPL); }

}  // namespace zel2clock
