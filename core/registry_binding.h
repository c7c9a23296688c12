// The host-wide registry that every interface table enters its pairs into. The component model holds
// the pointer itself; whoever binds the module to a host hands it over (init does, from the host's
// objectRegistry). Without one, tables keep their pairs and register nothing.
#pragma once

#include "core/abi.h"

void bindObjectRegistry(ObjectRegistry* registry);
ObjectRegistry* boundObjectRegistry();
