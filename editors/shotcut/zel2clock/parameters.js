// Made by scripts/editor-files from what zel2clock.so reports; do not edit.
// The module's parameters for the panel (ui.qml): frei0r numbers are 0..1 over
// [minimum, maximum]; the panel shows the range and stores the 0..1 value.
.pragma library

var parameters = {
    'the List value': {name: 'the List value', title: 'Clock Type', kind: 'string', group: 'Clock', defaultValue: 'Analog Clock', items: ['Analog Clock', 'Digital Clock', 'LED clock'], itemTitles: ['Analog Clock', 'Digital Clock', 'LED clock']},
    'Style List': {name: 'Style List', title: 'Timer Style', kind: 'string', group: 'Clock', defaultValue: 'hh:mm:ss.fff', items: ['hh:mm:ss.fff', 'hh:mm:ss.ff', 'hh:mm:ss.f', 'hh:mm:ss', 'hh:mm', 'mm:ss', 'mm', 'mm:ss.f', 'ss.f', 'TC hh:mm:ss:ff', 'dd.mm.yy hh:mm:ss', 'mm/dd/yy hh:mm:ss', 'Free Format', 'Frame Counter', 'Frame Counter with Field'], itemTitles: ['hh:mm:ss.fff', 'hh:mm:ss.ff', 'hh:mm:ss.f', 'hh:mm:ss', 'hh:mm', 'mm:ss', 'mm', 'mm:ss.f', 'ss.f', 'TC hh:mm:ss:ff', 'dd.mm.yy hh:mm:ss', 'mm/dd/yy hh:mm:ss', 'Free Format', 'Frame Counter', 'Frame Counter with Field']},
    'Alignment List': {name: 'Alignment List', title: 'Digital Clock Alignment', kind: 'string', group: 'Clock', defaultValue: 'Left Alignment', items: ['Left Alignment', 'Center', 'Right Alignment'], itemTitles: ['Left Alignment', 'Center', 'Right Alignment']},
    'Font': {name: 'Font', title: 'Font', kind: 'string', group: 'Clock', defaultValue: ''},
    'X': {name: 'X', title: 'X', kind: 'double', group: 'Position and size', minimum: 0, maximum: 100, decimals: 1, keyframes: true, suffix: '%', defaultValue: 0.5},
    'Y': {name: 'Y', title: 'Y', kind: 'double', group: 'Position and size', minimum: 0, maximum: 100, decimals: 1, keyframes: true, suffix: '%', defaultValue: 0.5},
    'Size': {name: 'Size', title: 'Size', kind: 'double', group: 'Position and size', minimum: 0, maximum: 100, decimals: 1, keyframes: true, suffix: '%', defaultValue: 0.5},
    'Foreground RGB Color': {name: 'Foreground RGB Color', title: 'Foreground Colour', kind: 'colour', group: 'Colours', defaultValue: '#808080'},
    'Foreground Opacity': {name: 'Foreground Opacity', title: 'Foreground Opacity', kind: 'double', group: 'Colours', minimum: 0, maximum: 100, decimals: 1, keyframes: true, suffix: '%', defaultValue: 1},
    'Background RGB Color': {name: 'Background RGB Color', title: 'Background Colour', kind: 'colour', group: 'Colours', defaultValue: '#323232'},
    'Background Opacity': {name: 'Background Opacity', title: 'Background Opacity', kind: 'double', group: 'Colours', minimum: 0, maximum: 100, decimals: 1, keyframes: true, suffix: '%', defaultValue: 1},
    'Start Time': {name: 'Start Time', title: 'Start Time (text)', kind: 'string', group: 'Time', defaultValue: ''},
    'Start Time Hour': {name: 'Start Time Hour', title: 'Start Hour', kind: 'double', group: 'Time', minimum: 0, maximum: 23, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Minute': {name: 'Start Time Minute', title: 'Start Minute', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Second': {name: 'Start Time Second', title: 'Start Second', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Millsecond': {name: 'Start Time Millsecond', title: 'Start Millisecond', kind: 'double', group: 'Time', minimum: 0, maximum: 999, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Frame': {name: 'Start Time Frame', title: 'Start Frame', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Day': {name: 'Start Time Day', title: 'Start Day', kind: 'double', group: 'Time', minimum: 1, maximum: 31, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Month': {name: 'Start Time Month', title: 'Start Month', kind: 'double', group: 'Time', minimum: 1, maximum: 12, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Start Time Year': {name: 'Start Time Year', title: 'Start Year', kind: 'double', group: 'Time', minimum: 1970, maximum: 2099, decimals: 0, keyframes: false, suffix: '', defaultValue: 0.310078},
    'Stop Time Hour': {name: 'Stop Time Hour', title: 'Stop Hour', kind: 'double', group: 'Time', minimum: 0, maximum: 23, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Stop Time Minute': {name: 'Stop Time Minute', title: 'Stop Minute', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Stop Time Second': {name: 'Stop Time Second', title: 'Stop Second', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Stop Time Millsecond': {name: 'Stop Time Millsecond', title: 'Stop Millisecond', kind: 'double', group: 'Time', minimum: 0, maximum: 999, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Stop Time Frame': {name: 'Stop Time Frame', title: 'Stop Frame', kind: 'double', group: 'Time', minimum: 0, maximum: 59, decimals: 0, keyframes: false, suffix: '', defaultValue: 0},
    'Count Down': {name: 'Count Down', title: 'Count Down', kind: 'boolean', group: 'Time', defaultValue: 0},
    'Time Speed Factor': {name: 'Time Speed Factor', title: 'Time Speed Factor', kind: 'double', group: 'Time', minimum: -500, maximum: 500, decimals: 0, keyframes: false, suffix: '', defaultValue: 0.501},
    'Frame Rate': {name: 'Frame Rate', title: 'Frame Rate of the project', kind: 'string', group: 'Time', defaultValue: 'auto', items: ['auto', '24000/1001', '24', '25', '30000/1001', '30', '50', '60000/1001', '60'], itemTitles: ['Detect', '23.976', '24', '25', '29.97', '30', '50', '59.94', '60']}
};
var fixed = {'Time Unit': 'seconds', 'Alpha': 'input'};
