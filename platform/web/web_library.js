// The C++ side's calls into the page (web/shell.html), which keeps the
// canvas, the keys, the overlay and the audio in `Module.tuuli`. Two calls
// suspend the WebAssembly stack through Asyncify: they are the build's
// ASYNCIFY_IMPORTS (web/CMakeLists.txt).
mergeInto(LibraryManager.library, {
  tuuli_open_canvas: function(width, height) {
    Module.tuuli.openCanvas(width, height);
  },

  tuuli_show_picture: function(rgba, width, height, frame) {
    Module.tuuli.showPicture(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height, frame);
  },

  tuuli_yield__deps: ['$Asyncify'],
  tuuli_yield: function(waitForAnimationFrame) {
    return Asyncify.handleSleep(function(wakeUp) {
      Module.tuuli.nextTurn(waitForAnimationFrame !== 0, wakeUp);
    });
  },

  tuuli_now_ms: function() {
    return Module.tuuli.nowMs();
  },

  tuuli_take_key: function(downOut) {
    var key = Module.tuuli.takeKey();
    if (key === null) return -1;
    HEAP32[downOut >> 2] = key.down ? 1 : 0;
    return key.vk;
  },

  tuuli_message_box: function(text, caption) {
    Module.tuuli.messageBox(UTF8ToString(text), UTF8ToString(caption));
  },

  tuuli_show_cursor: function(visible) {
    Module.tuuli.showCursor(visible !== 0);
  },

  tuuli_audio_decode__deps: ['$Asyncify'],
  tuuli_audio_decode: function(bytes, size) {
    return Asyncify.handleSleep(function(wakeUp) {
      // A copy: the memory may move while the browser decodes.
      var copy = HEAPU8.slice(bytes, bytes + size);
      Module.tuuli.decodeMusic(copy.buffer).then(function(frames) { wakeUp(frames); },
                                                 function() { wakeUp(0); });
    });
  },

  tuuli_audio_play: function(restart, loop) {
    Module.tuuli.playMusic(restart !== 0, loop !== 0);
  },

  tuuli_audio_stop: function() {
    Module.tuuli.stopMusic();
  },

  tuuli_virtual_fps: function() {
    return Module.tuuli.mode.fps;
  },

  tuuli_max_frames: function() {
    return Module.tuuli.mode.frames;
  },

  tuuli_log_frame: function(line, pixels, bytes) {
    // The page's digest copies the bytes before it returns.
    Module.tuuli.logFrame(UTF8ToString(line), HEAPU8.subarray(pixels, pixels + bytes));
  },

  tuuli_demo_ended: function(exitCode, frames) {
    Module.tuuli.demoEnded(exitCode, frames);
  },
});
