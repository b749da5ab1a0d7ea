// fieldkeep: manages classic game servers on remote Unix hosts over SSH, one
// command per run.
#include "main/command_table.h"

int main(int argc, char** argv) {
    return fieldkeep::runFieldkeep(argc, argv, fieldkeep::commandTable(),
                                   *fieldkeep::makeHostRunner());
}
