// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/FrmMain.h"
#include "watch/WatchList.h"
#include "watch/WatchOptions.h"

// pellisk-watch without its loop: frmMain's own logic over a list without a screen, so that the
// rows follow exactly the window's rules, and the events that the list tells, filtered and
// formatted. Time and the socket's readiness are the caller's: it calls Arrive when a datagram
// waits and Tick every TickIntervalMs, so tests can drive both directly.
class CWatcher : private IWatchEvents {
  public:
    using CWriter = std::function<void(std::string_view)>;

    // out receives whole lines for stdout, errors whole lines for stderr.
    CWatcher(const CWatchOptions& options, IAnnounceSocket& socket, CWriter out, CWriter errors);

    // Opens the listener; false, with *error one line naming the port and the cause, when the
    // port cannot be listened on.
    bool Start(std::string* error);
    // Handles one waiting datagram.
    void Arrive();
    void Tick();
    int TickIntervalMs() const { return m_timer.m_interval; }
    // The --once output: every unit now listed, in list order.
    void WriteListed();

    const CDeviceRowStore& Rows() const { return m_list.Rows(); }

  private:
    // The listener as frmMain sees it, remembering why it could not be opened.
    class COpeningSocket : public IAnnounceSocket {
      public:
        explicit COpeningSocket(IAnnounceSocket& inner) : m_inner(inner) {}
        CResult SetProtocolUdp() override { return Remember(m_inner.SetProtocolUdp()); }
        CResult Bind(uint16_t port) override { return Remember(m_inner.Bind(port)); }
        CResult ReadDatagram(char* buffer, std::size_t capacity, std::size_t* length,
                             uint32_t* sender) override {
            return m_inner.ReadDatagram(buffer, capacity, length, sender);
        }
        void Close() override { m_inner.Close(); }
        void SetNotifying(bool on) override { m_inner.SetNotifying(on); }

        std::string m_failure;  // the first failure's description

      private:
        CResult Remember(CResult result);
        IAnnounceSocket& m_inner;
    };
    class CFixedForm : public IFormWindow {
      public:
        int OuterWidth() const override { return kListWidthTwips; }
        int OuterHeight() const override { return kListHeightTwips; }
        int ClientWidth() const override { return kListWidthTwips; }
        int ClientHeight() const override { return kListHeightTwips; }
        CResult SetOuterWidth(int) override { return Success(); }
        CResult SetOuterHeight(int) override { return Success(); }
        bool IsMinimised() const override { return false; }
    };
    class CTickSetting : public IWindowTimer {
      public:
        CResult SetInterval(int milliseconds) override;
        CResult Start() override { return Success(); }
        void Stop() override {}
        int m_interval = kTimerIntervalMs;
    };
    // Reports of later failures go to stderr; the program goes on, as the window does.
    class CErrorLines : public IMessageBox {
      public:
        explicit CErrorLines(CWriter& errors) : m_errors(errors) {}
        void ShowError(std::string_view title, std::string_view text) override;
        bool m_quiet = true;

      private:
        CWriter& m_errors;
    };

    void OnEvent(EWatchEvent event, const CDeviceRow& row) override;
    bool Shows(const CDeviceRow& row) const;
    void Write(EWatchEvent event, const CDeviceRow& row);

    CWatchOptions m_options;
    CWriter m_out;
    CWriter m_errors;
    std::string m_line;
    COpeningSocket m_socket;
    CFixedForm m_form;
    CTickSetting m_timer;
    CErrorLines m_reports;
    CWatchList m_list;
    CFrmMain m_frm;
};
