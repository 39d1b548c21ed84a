#pragma once

#include <QPushButton>

namespace granovia {

// A silo button of the board: a standard push button that carries its silo
// number, which the one touch handler reads back.
class SiloButton final : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    int Tag = 0;
};

} // namespace granovia
