// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <string_view>

// Opens the loader's window on a listed unit: "quillon ADDRESS" as a process of its own, which
// outlives Pellisk. The user still presses Connect there; nothing is sent from here.
class CQuillonLauncher {
  public:
    // Looks for quillon in folder (Pellisk's own, beside which it is installed), then on PATH.
    void FindBeside(const QString& folder);
    bool Found() const { return !m_program.isEmpty(); }
    // The program that Open starts; empty when none was found.
    const QString& Program() const { return m_program; }
    // False when nothing was found or the process could not be started.
    bool Open(std::string_view address) const;

  private:
    QString m_program;
};
