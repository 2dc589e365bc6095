// Places the registration resource in the module's own ELF section, where a host reads it from the
// file without loading the module. `used` keeps the otherwise unreferenced bytes in the library.
#include "entry/registration_resource.h"

namespace threeway {

[[gnu::section(".pipl"), gnu::used]] const std::array<std::uint8_t, kRegistrationResourceSize>
    kRegistrationResourceInModule = MakeRegistrationResource();

}  // namespace threeway
