// Boost.JSON's compiled part, built here with the program's own compiler and
// standard library so that one build serves libstdc++ and libc++ alike.
#include <boost/json/src.hpp>
