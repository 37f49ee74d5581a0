// The scripts a plan names, read from a game.

#include "script/script_plan.h"

#include <gtest/gtest.h>

namespace binconv {
namespace {

}  // namespace
}  // namespace binconv
