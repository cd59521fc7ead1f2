#pragma once

// The program's pictures (logo, help picture, zoom cursor) are compiled into the oxel_ui static
// library, whose resource object nothing else would pull in; every window that shows one
// registers them first. Registering again is harmless.
void registerPictures();
