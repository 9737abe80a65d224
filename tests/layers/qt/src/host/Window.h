#pragma once

// Qt below the windows' layer: the layer check must refuse it.
#include <QWidget>
