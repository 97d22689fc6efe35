// Results out. The page never sends a result's pixels: the panel makes a look's result from
// the whole frame, or fetches a creation from the service's CDN, and answers with a status
// token once the editor has taken it (__lumivoImportAck).

export function createResults(bridge) {
  let pending = null; // the ack id of the result sent last; answers to older ones are dropped

  const send = (type, fields) => {
    pending = bridge.nextAckId('apply');
    bridge.post({ type, ackId: pending, ...fields });
  };

  return {
    // A look, applied by the panel to the whole of frame number `frame`, the one the page shows.
    sendLook(frame, look, strength) {
      send('apply-look', { frame, look: { steps: look.steps, strength } });
    },

    // A finished creation, fetched by the panel from the service and applied.
    sendCreation(url) {
      send('apply-url', { url });
    },

    // Whether an answer is for the result sent last.
    answers: (ackId) => ackId === pending,
  };
}

// The steps of a service effect, for the log: marks in milliseconds since timeOrigin.
export function effectTimingLine(t, timeOrigin) {
  const ms = (a, b) => Math.round(t[b] - t[a]);
  return (
    'timing export=' +
    ms('start', 'exported') +
    ' upload=' +
    ms('exported', 'uploaded') +
    ' service=' +
    ms('uploaded', 'made') +
    ' download=' +
    ms('made', 'downloaded') +
    ' apply=' +
    ms('applyStart', 'applied') +
    ' waited-for-click=' +
    ms('downloaded', 'applyStart') +
    ' apply-started-at=' +
    Math.round(timeOrigin + t.applyStart)
  );
}
