// Building the page's elements. Text goes in as text only, never as HTML.

// A new element `tag` of class `cls` (none when empty) holding `text`
// (nothing when undefined).
export function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
