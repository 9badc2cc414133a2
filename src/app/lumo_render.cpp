// lumo-render: the show rendered to files, for people without the hardware and for
// checking the show.  See app/render.hpp.
#include <string>
#include <vector>

#include "app/render.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return lumo::run_render(args);
}
