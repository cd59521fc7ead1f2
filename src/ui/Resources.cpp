#include "ui/Resources.h"

#include <QtGlobal>

void registerPictures()
{
    Q_INIT_RESOURCE(oxel);
}
