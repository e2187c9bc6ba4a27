// SPDX-License-Identifier: Apache-2.0
#pragma once

// Resource and control identifiers of the loader's dialog templates.
constexpr int IDR_MAINFRAME = 133;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr int IDC_LOAD_FIRMWARE = 1000;
constexpr int IDC_PROGRESS = 1005;
constexpr int IDC_LOG = 1006;
constexpr int IDC_CONNECT = 1012;
constexpr int IDC_FLASH_FIRMWARE = 1016;
constexpr int IDC_IP_ADDRESS = 1025;
constexpr int IDC_UDP_PORT = 1027;
constexpr int IDC_RESET_DEFAULTS = 1029;
constexpr int IDC_STANDARD_TIMEOUT = 1030;

// System-menu command of the about entry; the platform uses the low four bits itself.
constexpr unsigned IDM_ABOUTBOX = 0x10;

// The progress refresh timer.
constexpr unsigned kProgressTimerId = 2;
constexpr unsigned kProgressTimerMs = 300;
