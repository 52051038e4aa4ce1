#include <QImage>
#include <vector>

#include "vantrel/picture.h"
