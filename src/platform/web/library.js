// The web platform's side in the page's JavaScript: the canvas, full
// screen, the marks and downloads the page sees, and the music in an
// <audio> element. Each is called from C++ by its name.

mergeInto(LibraryManager.library, {
  korvane_canvas: function() {
    return Module['canvas'] || document.getElementById('canvas');
  },

  korvane_mark__deps: ['korvane_canvas'],
  korvane_mark: function(name, value) {
    const canvas = _korvane_canvas();
    if (!canvas) return;
    const key = UTF8ToString(name);
    if (value) canvas.setAttribute(key, UTF8ToString(value));
    else canvas.removeAttribute(key);
  },

  korvane_announce: function(player) {
    if (Module['onPlayerReady']) Module['onPlayerReady'](player);
  },

  korvane_download: function(name, bytes, size, type) {
    const blob = new Blob([HEAPU8.slice(bytes, bytes + size)],
                          {type: UTF8ToString(type)});
    const url = URL.createObjectURL(blob);
    const link = document.createElement('a');
    link.href = url;
    link.download = UTF8ToString(name);
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  },

  // Full screen holds the canvas's parent, which fits the canvas into the
  // screen with black bars. A browser grants it only while it handles the
  // person's own key or click: a refusal changes nothing.
  korvane_fullscreen__deps: ['korvane_canvas'],
  korvane_fullscreen: function(on) {
    const canvas = _korvane_canvas();
    const holder = canvas ? canvas.parentElement : null;
    if (on && holder && !document.fullscreenElement)
      holder.requestFullscreen().catch(() => {});
    else if (!on && document.fullscreenElement)
      document.exitFullscreen().catch(() => {});
  },

  korvane_in_fullscreen: function() {
    return document.fullscreenElement ? 1 : 0;
  },

  korvane_cursor__deps: ['korvane_canvas'],
  korvane_cursor: function(cursor) {
    const canvas = _korvane_canvas();
    if (canvas) canvas.style.cursor = UTF8ToString(cursor);
  },

  // The music over the bytes read from the show. A browser starts sound
  // only after the person's click or key: a start it refuses is tried again
  // on the next one, unless the music was paused meanwhile. The browser
  // decodes later: a file it cannot play then tells the page `silent`, the
  // line standard error would get, its {0} the reason.
  //
  // The show's clock runs from the start or the seek, but the browser's
  // sound begins later (buffering, or a refused start that waits for a
  // gesture): once it plays, it is moved to where the show time has gone
  // since. Only then: afterwards the music runs free of the picture, as at
  // home.
  korvane_music_open: function(bytes, size, silent) {
    const blob = new Blob([HEAPU8.slice(bytes, bytes + size)],
                          {type: 'audio/mpeg'});
    const music = {audio: new Audio(), url: URL.createObjectURL(blob),
                   wanted: false, anchor: null};
    const line = UTF8ToString(silent);
    music.from = seconds => {
      music.anchor = {seconds, at: performance.now()};
    };
    music.audio.addEventListener('playing', () => {
      const anchor = music.anchor;
      music.anchor = null;
      if (!anchor || !music.wanted) return;
      const due = anchor.seconds + (performance.now() - anchor.at) / 1000;
      if (Math.abs(music.audio.currentTime - due) > 0.05)
        music.audio.currentTime = due;
    });
    music.audio.preload = 'auto';
    music.audio.addEventListener('error', () => {
      if (Module['korvaneMusic'] !== music) return;
      const why = music.audio.error && music.audio.error.message;
      const text = line.replace('{0}', why || 'not a sound this browser plays');
      if (Module['onProblem']) Module['onProblem'](text);
      else console.warn(text);
    });
    music.play = () => {
      if (!music.wanted) return;
      music.audio.play().catch(() => {
        const retry = () => {
          document.removeEventListener('pointerdown', retry, true);
          document.removeEventListener('keydown', retry, true);
          if (Module['korvaneMusic'] === music && music.wanted &&
              music.audio.paused)
            music.audio.play().catch(() => {});
        };
        document.addEventListener('pointerdown', retry, true);
        document.addEventListener('keydown', retry, true);
      });
    };
    music.audio.src = music.url;
    Module['korvaneMusic'] = music;
  },

  korvane_music_start: function() {
    const music = Module['korvaneMusic'];
    if (!music) return;
    music.wanted = true;
    music.audio.currentTime = 0;
    music.from(0);
    music.play();
  },

  korvane_music_stop: function() {
    const music = Module['korvaneMusic'];
    if (!music) return;
    music.wanted = false;
    music.audio.pause();
    music.audio.removeAttribute('src');
    music.audio.load();
    URL.revokeObjectURL(music.url);
    delete Module['korvaneMusic'];
  },

  // Music that had played to its end plays again.
  korvane_music_seek: function(seconds) {
    const music = Module['korvaneMusic'];
    if (!music) return;
    music.audio.currentTime = seconds;
    music.from(seconds);
    if (music.wanted && music.audio.paused) music.play();
  },

  korvane_music_pause: function(paused) {
    const music = Module['korvaneMusic'];
    if (!music) return;
    music.wanted = !paused;
    if (paused) music.audio.pause();
    else music.play();
  },

  korvane_music_position: function() {
    const music = Module['korvaneMusic'];
    if (!music || music.audio.ended || music.audio.error) return -1;
    return music.audio.currentTime * 1000;
  },
});
