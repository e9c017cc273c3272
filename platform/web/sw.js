// The service worker of the page served over http(s): it keeps every file of
// one release in a cache named after it and answers from there, so the game
// starts without a connection. A new release is fetched whole into its own
// cache while the old one still plays; once complete it takes over, and the
// next load comes entirely from it (the program is inside index.html, so a
// page and a program of two releases never meet).
'use strict';
const kCache = 'tavoren-@TAVOREN_VERSION@';
const kFiles = [@TAVOREN_SITE_FILES@];

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(kCache);
    // Past the browser's HTTP cache: every file of this release, or none.
    await cache.addAll(kFiles.map((f) => new Request(f, {cache: 'reload'})));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('tavoren-') && name !== kCache) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith((async () => {
    const cache = await caches.open(kCache);
    const hit = await cache.match(request, {ignoreSearch: request.mode === 'navigate'});
    return hit || fetch(request);
  })());
});
