// The application object: prepares the toolkit, keeps one running copy per
// user, and runs the main dialog for the life of the process.
#pragma once

namespace zr417 {

class CKalvexApp {
public:
    // Runs the program; returns false in every case, as the process ends
    // when it returns. argv is handed to the toolkit only; the program reads
    // no arguments of its own.
    bool InitInstance(int& argc, char** argv);
};

}  // namespace zr417
